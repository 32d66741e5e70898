#pragma once
// The bundle of operating-system services that program start builds and hands down.
#include "platform/guid.h"
#include "platform/instrumentation.h"
#include "platform/network.h"
#include "platform/recordset.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/ui.h"
#include "platform/window.h"

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
