#pragma once
// The program's shared values, one set per process, owned by program start.
#include <string>

#include "inventory/run_values.h"
#include "platform/common/date.h"
#include "signin/values.h"

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
    bool EvalRegistered = false;  // the service took EvalID (gettemp.asp answered)

    platform::Date ProfileCrDate;
    platform::Date ProfileLuDate;
};

// The narrow views that the subsystems receive.
inline signin::SignInValues SignInValuesOf(SharedState& s) { return {s.IsSubscriber, s.UserName, s.UserPassword}; }
inline signin::AccountValues AccountValuesOf(SharedState& s) {
    return {s.IsSubscriber, s.UserName, s.UserPassword, s.EvalID, s.EvalRegistered, s.ProfileCrDate, s.ProfileLuDate};
}
inline inventory::RunValues RunValuesOf(SharedState& s) {
    return {s.IsSubscriber,   s.UserName,      s.UserPassword, s.EvalID,
            s.EvalRegistered, s.ProfileCrDate, s.ProfileLuDate};
}

}  // namespace app
