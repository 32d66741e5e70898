#pragma once
// The instances of one query, read from the service's enumerator one at a time.
#include <memory>

#include <windows.h>
#include <wbemidl.h>

#include "platform/instrumentation/instrumentation.h"

namespace platform::instr {

// How long the next instance may take: a provider that hangs must not hold the run for ever.
inline constexpr long kNextInstanceMs = 30'000;

// Takes over `instances`. An instance that does not come within `waitMs` fails that Next (a
// PlatformError) and ends the enumeration: every later Next gives the end at once.
std::unique_ptr<QueryResult> makeWmiResult(IEnumWbemClassObject* instances, long waitMs = kNextInstanceMs);

}  // namespace platform::instr
