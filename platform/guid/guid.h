#pragma once
// New GUIDs.
#include <cstdint>
#include <memory>

namespace platform {

struct Guid {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};
};

class GuidSource {
public:
    virtual ~GuidSource() = default;
    // CoCreateGuid: 0 on success with `guid` filled, a non-zero status otherwise.
    virtual std::int32_t CoCreateGuid(Guid& guid) = 0;
};

// Version-4 GUIDs from the kernel's random source.
std::unique_ptr<GuidSource> makeSystemGuidSource();

}  // namespace platform
