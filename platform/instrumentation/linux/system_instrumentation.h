#pragma once
// The instrumentation of a machine tree: the running machine below "/", or a copy of one
// (tests, demonstrations) below another folder.
#include <memory>
#include <string>

#include "platform/instrumentation/instrumentation.h"

namespace platform {

std::unique_ptr<Instrumentation> makeInstrumentationAt(std::string root);

}  // namespace platform
