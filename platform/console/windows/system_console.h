#pragma once
// The Windows console over given handles: the process's own, or a test's console or pipe.
#include <memory>

#include <windows.h>

#include "platform/console/console.h"

namespace platform {

std::unique_ptr<Console> makeConsoleOver(HANDLE in, HANDLE out, HANDLE err);

}  // namespace platform
