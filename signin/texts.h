#pragma once
// The sign-in page's texts, character for character.

namespace signin::texts {

// The introduction: lead, the option's name in double quotes, tail.
inline constexpr const char* kIntroLead =
    "To get your information uploaded into your VantrelNet Profile you must first log-in. Please provide your "
    "username and password below. If you are only evaluating Vantrel then select ";
inline constexpr const char* kIntroOption = "\"Evaluating\"";
inline constexpr const char* kIntroTail = " and click Next.";

inline constexpr const char* kUsername = "Username:";
inline constexpr const char* kPassword = "Password:";
inline constexpr const char* kAlreadySubscribed = "Already Subscribed";
inline constexpr const char* kEvaluating = "Evaluating";
inline constexpr const char* kSubscribeNow = "Subscribe Now";
inline constexpr const char* kSubscriptionPath = "/subscription/details.asp";

// What every evaluation identifier begins with.
inline constexpr const char* kEvalPrefix = "Eval";

}  // namespace signin::texts
