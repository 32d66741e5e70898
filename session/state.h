#pragma once
// The one set of values a collection session keeps: where the service is and who the run is for.
// The wizard's pages and vantrel-collect's options fill it; the session's steps read and write it.
#include <string>

#include "inventory/run_values.h"
#include "platform/common/date.h"
#include "client/service.h"

namespace session {

struct State {
    std::string ServerPath;  // base address of the data service, with its trailing "/"
    std::string FilePath;    // kept, read by nothing else

    bool IsSubscriber = true;  // "Already Subscribed" at first
    std::string UserName;
    std::string UserPassword;
    std::string EvalID;
    bool EvalRegistered = false;  // the service took EvalID (gettemp.asp answered)

    platform::Date ProfileCrDate;
    platform::Date ProfileLuDate;

    service::Identity Who() const { return {IsSubscriber, UserName, UserPassword, EvalID}; }
    inventory::RunValues RunValues() const { return {Who(), EvalRegistered, ProfileCrDate, ProfileLuDate}; }
};

}  // namespace session
