#pragma once
// The sign-in page's texts and the Next handler's messages, character for character.

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

// The local address that means only loopback is up.
inline constexpr const char* kLoopbackAddress = "127.0.0.1";

// What every evaluation identifier begins with.
inline constexpr const char* kEvalPrefix = "Eval";

}  // namespace signin::texts
