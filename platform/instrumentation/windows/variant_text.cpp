#include "platform/instrumentation/windows/variant_text.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/common/errors.h"
#include "platform/common/windows/wide.h"

namespace platform::instr {
namespace {

std::string Shortest(double value) {
    char text[32];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    return text;
}

}  // namespace

PropertyValue VariantText(const VARIANT& value) {
    switch (value.vt) {
        case VT_NULL:
        case VT_EMPTY:
            return std::nullopt;
        case VT_BSTR:
            return value.bstrVal ? win::Narrow(value.bstrVal, SysStringLen(value.bstrVal)) : std::string();
        case VT_BOOL:
            return std::string(value.boolVal != VARIANT_FALSE ? "True" : "False");
        case VT_I1: return std::to_string(static_cast<int>(value.cVal));
        case VT_UI1: return std::to_string(static_cast<unsigned>(value.bVal));
        case VT_I2: return std::to_string(value.iVal);
        case VT_UI2: return std::to_string(value.uiVal);
        case VT_I4: return std::to_string(value.lVal);
        case VT_UI4: return std::to_string(value.ulVal);
        case VT_INT: return std::to_string(value.intVal);
        case VT_UINT: return std::to_string(value.uintVal);
        case VT_I8: return std::to_string(value.llVal);
        case VT_UI8: return std::to_string(value.ullVal);
        case VT_R4: return Shortest(value.fltVal);
        case VT_R8: return Shortest(value.dblVal);
        default:
            throw PlatformError("a value of variant type " + std::to_string(value.vt) + " is not a text");
    }
}

}  // namespace platform::instr
