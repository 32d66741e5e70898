// GUIDs from the system's own call.
#include <cstring>
#include <memory>

#include <objbase.h>

#include "platform/guid/guid.h"

namespace platform {
namespace {

class WindowsGuidSource final : public GuidSource {
public:
    std::int32_t CoCreateGuid(Guid& guid) override {
        ::GUID made{};
        const HRESULT status = ::CoCreateGuid(&made);
        if (FAILED(status)) return static_cast<std::int32_t>(status);
        guid.Data1 = made.Data1;
        guid.Data2 = made.Data2;
        guid.Data3 = made.Data3;
        std::memcpy(guid.Data4, made.Data4, sizeof guid.Data4);
        return 0;
    }
};

}  // namespace

std::unique_ptr<GuidSource> makeSystemGuidSource() { return std::make_unique<WindowsGuidSource>(); }

}  // namespace platform
