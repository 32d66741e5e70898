// Handing an address to the system's default handler: ShellExecuteW, which returns once the
// handler is started and never waits for it.
#include <string>

// First: its window constants share their names with the system's macros.
#include "platform/shell/shell.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "platform/common/errors.h"
#include "platform/common/windows/wide.h"

namespace platform {
namespace {

// The documented failures; anything else at or below 32 is an unnamed one.
std::string Reason(INT_PTR code) {
    switch (code) {
        case 0: case SE_ERR_OOM: return "out of memory";
        case ERROR_FILE_NOT_FOUND: return "not found";
        case ERROR_PATH_NOT_FOUND: return "the path was not found";
        case SE_ERR_ACCESSDENIED: return "access denied";
        case SE_ERR_NOASSOC: return "no program is set to open it";
        case SE_ERR_ASSOCINCOMPLETE: return "its program association is incomplete";
        default: return "error " + std::to_string(code);
    }
}

class WindowsShell final : public Shell {
public:
    // The owner is a Qt widget; the handler needs no parent window, so none is passed.
    void Execute(const std::string& address, const std::string& verb, WindowHandle) override {
        if (address.empty() || address.find('\0') != std::string::npos)
            throw PlatformError("\"" + address + "\" cannot be opened");
        const std::wstring file = win::Widen(address), action = win::Widen(verb);
        // COM may be needed by the handler's lookup; initialising it twice on a thread is harmless.
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        const auto code = reinterpret_cast<INT_PTR>(
            ShellExecuteW(nullptr, verb.empty() ? nullptr : action.c_str(), file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        if (SUCCEEDED(com)) CoUninitialize();
        if (code <= 32) throw PlatformError("cannot open \"" + address + "\": " + Reason(code));
    }
};

}  // namespace

std::unique_ptr<Shell> makeSystemShell() { return std::make_unique<WindowsShell>(); }

}  // namespace platform
