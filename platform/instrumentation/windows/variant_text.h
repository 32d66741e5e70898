#pragma once
// A property's VARIANT as the text the Linux backend gives for the same column.
#include <windows.h>
#include <oleauto.h>

#include "platform/instrumentation/instrumentation.h"

namespace platform::instr {

// Null and empty: null. Text: UTF-8. Integers: decimal. Booleans: "True" or "False", as a
// Boolean converts to text. Floating point: the shortest decimal that reads back the same.
// Anything else (arrays, objects) throws PlatformError.
PropertyValue VariantText(const VARIANT& value);

}  // namespace platform::instr
