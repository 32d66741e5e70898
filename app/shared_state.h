#pragma once
// The program's shared values, one set per process, owned by program start.
#include <string>

#include "platform/common/date.h"

namespace wizard { class IWizardController; }

namespace app {

struct SharedState {
    std::string ServerPath;   // base address of the data service, with its trailing "/"
    std::string FilePath;     // kept, read by nothing else
    wizard::IWizardController* Controller = nullptr;

    bool IsSubscriber = true;  // the sign-in page's selection: "Already Subscribed" at first
    std::string UserName;
    std::string UserPassword;
    std::string EvalID;

    platform::Date ProfileCrDate;
    platform::Date ProfileLuDate;
};

}  // namespace app
