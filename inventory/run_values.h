#pragma once
// What the collection run is told about its user, copied from the session when the run starts.
#include "platform/common/date.h"
#include "client/service.h"

namespace inventory {

struct RunValues {
    service::Identity who;
    bool evalRegistered = false;  // the service took the evaluation identity
    platform::Date profileCrDate;
    platform::Date profileLuDate;
};

}  // namespace inventory
