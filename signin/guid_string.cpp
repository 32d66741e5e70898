#include "signin/guid_string.h"

#include <cstdio>
#include <exception>

#include "signin/texts.h"

namespace signin {

std::string CreateGuidString(platform::GuidSource& guids) {
    try {
        platform::Guid guid;
        if (guids.CoCreateGuid(guid) != 0) return {};
        // The structure's field values, not its bytes in memory order.
        char text[33];
        std::snprintf(text, sizeof text, "%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
                      static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                      static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                      guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
        return text;
    } catch (const std::exception&) {
        return {};  // a GUID that cannot be had is an empty text, never an error
    }
}

std::string EvaluationId(const std::string& guidText) {
    std::string id = texts::kEvalPrefix;
    if (guidText.size() >= 3) id += guidText.substr(2, 5);
    return id;
}

}  // namespace signin
