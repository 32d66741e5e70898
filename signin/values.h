#pragma once
// The session's values the sign-in page keeps current, handed down by program start as
// references, so that only program start knows where they live.
#include <string>

namespace signin {

struct SignInValues {
    bool& IsSubscriber;
    std::string& UserName;
    std::string& UserPassword;
};

}  // namespace signin
