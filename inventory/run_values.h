#pragma once
// The shared values the collection run reads, handed down by program start as references.
#include <string>

#include "platform/common/date.h"

namespace inventory {

struct RunValues {
    const bool& IsSubscriber;
    const std::string& UserName;
    const std::string& UserPassword;
    const std::string& EvalID;
    const bool& EvalRegistered;
    const platform::Date& ProfileCrDate;
    const platform::Date& ProfileLuDate;
};

}  // namespace inventory
