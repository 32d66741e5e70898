#pragma once
// The profile page's HTML: the sign-in form, a signed-in user's inventory, and the two static
// files it loads (style sheet and filter script). Every value is escaped here; no inline
// script or style, so the Content-Security-Policy can forbid both.
#include <string>
#include <vector>

#include "dataservice/pages.h"
#include "dataservice/store.h"

namespace dataservice::profile {

inline constexpr const char* kSessionCookie = "vantrel_session";
inline constexpr const char* kFormCookie = "vantrel_form";
inline constexpr const char* kCookiePath = "/profile/";

// The profile page's own texts.
namespace text {
inline constexpr const char* kSignInTitle = "Sign in to your VantrelNet profile";
inline constexpr const char* kSignInIntro =
    "Subscribers sign in with their username and password. If you ran the collector as an evaluating "
    "user, enter the evaluation username it gave you (such as Eval2B3C4) and leave the password empty.";
inline constexpr const char* kWrongPassword = "The username or password is not right. Please try again.";
inline constexpr const char* kFormExpired =
    "The sign-in form was out of date or came from another site. Please sign in again.";
inline constexpr const char* kSignedOut = "You are signed out.";
}  // namespace text

struct SignInForm {
    std::string formToken;  // also set as a cookie: the post must carry both
    std::string userName;   // pre-filled
    std::string message;    // an error to show, or empty
    bool signedOut = false;
};

HttpReply signInPage(int status, const SignInForm& form);
HttpReply profileView(const Profile& profile, const std::vector<Item>& items, const std::string& formToken);

// "filter.js" and "profile.css" below /profile/; nullptr for any other name.
const HttpReply* staticFile(const std::string& name);

// The headers every HTML reply carries (and the others too: they cost nothing there).
void addSecurityHeaders(HttpReply& reply);

// "NAME=VALUE; Path=/profile/; HttpOnly; SameSite=Strict[; Secure]; Max-Age=N".
std::string cookie(const char* name, const std::string& value, long maxAge, bool secure);

}  // namespace dataservice::profile
