#pragma once
// The texts program start shows, character for character.

namespace app {

// The outdated-version message: lead + the site's download page + tail. Its version numbers are
// fixed text, not the build's.
inline constexpr const char* kOutdatedVersionLead = "You are running Vantrel Collector v1.1.10. Go to ";
inline constexpr const char* kDownloadPagePath = "/download/downloadnow.asp";
inline constexpr const char* kOutdatedVersionTail =
    " and download the most current version, Vantrel Collector v1.1.11.";

}  // namespace app
