#pragma once
// The texts a session shows before the run, character for character.

namespace session {

// The outdated-version message: lead + the site's download page + tail. Its version numbers are
// fixed text, not the build's.
inline constexpr const char* kOutdatedVersionLead = "You are running Vantrel Collector v1.1.10. Go to ";
inline constexpr const char* kDownloadPagePath = "/download/downloadnow.asp";
inline constexpr const char* kOutdatedVersionTail =
    " and download the most current version, Vantrel Collector v1.1.11.";

inline constexpr const char* kNotConnected =
    "You are not currently connected to Internet. You will need to be connected to the Internet in order to "
    "upload your hardware and software information. This program will terminate once you click OK. You can "
    "relaunch Vantrel Collector once you have connected to the Internet.";

// The invalid-login message: lead + the site's address + tail.
inline constexpr const char* kInvalidLoginLead =
    "The username and/or the password you enetered are not valid. Please enter a valid username and password to "
    "continue. If you feel this error is invalid please visit ";
inline constexpr const char* kInvalidLoginTail = " to verify that you have the correct username and password.";

// The account check could not be made at all: lead + the site's address + tail.
inline constexpr const char* kAccountCheckFailedLead =
    "The VantrelNet service could not be reached to check your username and password. Please check your "
    "connection to the Internet and try again. If the problem continues please visit ";
inline constexpr const char* kAccountCheckFailedTail = ".";

// The service asked to be asked again later: lead + seconds + tail.
inline constexpr const char* kServiceBusyLead = "The VantrelNet service is busy. Trying again in ";
inline constexpr const char* kServiceBusyTail = " seconds...";

// The local address that means only loopback is up.
inline constexpr const char* kLoopbackAddress = "127.0.0.1";

// The settings' value names below kSettingsKey.
inline constexpr const char* kServerPathValue = "ServerPath";
inline constexpr const char* kFilePathValue = "FilePath";

}  // namespace session
