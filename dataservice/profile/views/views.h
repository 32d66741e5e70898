#pragma once
// The profile page's HTML: the sign-in form, a signed-in user's inventory, and the two static
// files it loads (style sheet and filter script, kept in assets/). Every value is escaped
// here; no inline script or style, so the Content-Security-Policy can forbid both.
#include <string>
#include <vector>

#include <optional>

#include "dataservice/http/message.h"
#include "dataservice/store/changes.h"
#include "dataservice/store/types.h"

namespace dataservice::profile {

struct SignInForm {
    std::string formToken;  // also set as a cookie: the post must carry both
    std::string userName;   // pre-filled
    std::string message;    // an error to show, or empty
};

HttpReply signInPage(int status, const SignInForm& form);
struct CollectionRow {
    Collection collection;
    std::optional<std::size_t> changes;  // against the one before it; none for the oldest kept
};

// What the signed-in page shows besides the profile's facts.
struct ProfileContent {
    std::vector<Item> items;                 // the current collection's
    std::vector<CollectionRow> collections;  // newest (the current one) first
    std::optional<Collection> compared;      // the last completed collection before the current one
    std::vector<Change> changes;             // since `compared`
    std::string filter;                      // the program filter asked for, carried by the download links
};

HttpReply profileView(const Profile& profile, const ProfileContent& content, const std::string& formToken);

// "filter.js" and "profile.css" below /profile/; nullptr for any other name.
const HttpReply* staticFile(const std::string& name);

}  // namespace dataservice::profile
