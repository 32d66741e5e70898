#pragma once
// The shared values the sign-in subsystem reads and writes, handed down by program start as
// references, so that only program start knows where they live.
#include <string>

#include "platform/common/date.h"

namespace signin {

// Kept current by the sign-in page.
struct SignInValues {
    bool& IsSubscriber;
    std::string& UserName;
    std::string& UserPassword;
};

// Read and written by the Next button's work.
struct AccountValues {
    const bool& IsSubscriber;
    const std::string& UserName;
    const std::string& UserPassword;
    std::string& EvalID;
    bool& EvalRegistered;  // whether the service answered the registration of EvalID
    platform::Date& ProfileCrDate;
    platform::Date& ProfileLuDate;
};

}  // namespace signin
