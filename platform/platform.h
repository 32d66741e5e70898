#pragma once
// The bundle of operating-system services that program start builds and hands down.
#include "platform/guid/guid.h"
#include "platform/instrumentation/instrumentation.h"
#include "platform/network/network.h"
#include "platform/recordset/recordset.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"
#include "platform/ui/ui.h"
#include "platform/window/window.h"

namespace platform {

struct Platform {
    Registry& registry;
    Instrumentation& instrumentation;
    RecordSource& records;
    Shell& shell;
    GuidSource& guids;
    Network& network;
    Ui& ui;
    WindowSystem& windows;
};

}  // namespace platform
