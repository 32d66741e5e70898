#pragma once
// The profile page's HTML: the sign-in form, a signed-in user's inventory, and the two static
// files it loads (style sheet and filter script, kept in assets/). Every value is escaped
// here; no inline script or style, so the Content-Security-Policy can forbid both.
#include <string>
#include <vector>

#include "dataservice/http/message.h"
#include "dataservice/store/types.h"

namespace dataservice::profile {

struct SignInForm {
    std::string formToken;  // also set as a cookie: the post must carry both
    std::string userName;   // pre-filled
    std::string message;    // an error to show, or empty
};

HttpReply signInPage(int status, const SignInForm& form);
HttpReply profileView(const Profile& profile, const std::vector<Item>& items, const std::string& formToken);

// "filter.js" and "profile.css" below /profile/; nullptr for any other name.
const HttpReply* staticFile(const std::string& name);

}  // namespace dataservice::profile
