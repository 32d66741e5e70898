#pragma once
// The profile page's own texts and names.
namespace dataservice::profile {

inline constexpr const char* kSessionCookie = "vantrel_session";
inline constexpr const char* kFormCookie = "vantrel_form";
inline constexpr const char* kCookiePath = "/profile/";

namespace texts {
inline constexpr const char* kSignInTitle = "Sign in to your VantrelNet profile";
inline constexpr const char* kSignInIntro =
    "Subscribers sign in with their username and password. If you ran the collector as an evaluating "
    "user, enter the evaluation username it gave you (such as Eval2B3C4) and leave the password empty.";
inline constexpr const char* kWrongPassword = "The username or password is not right. Please try again.";
inline constexpr const char* kFormExpired =
    "The sign-in form was out of date or came from another site. Please sign in again.";
inline constexpr const char* kChangesTitle = "Changes since the previous collection";
inline constexpr const char* kNothingToCompare =
    "There is nothing to compare yet: this profile has no earlier completed collection.";
inline constexpr const char* kIncompleteCollection =
    "The current collection is incomplete (its run did not finish), so what it lacks shows as removed.";
}  // namespace texts

}  // namespace dataservice::profile
