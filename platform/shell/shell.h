#pragma once
// Handing an address to the system's default handler.
#include <memory>
#include <string>

#include "platform/window/window.h"

namespace platform {

class Shell {
public:
    virtual ~Shell() = default;
    // ShellExecuteA: `verb` empty means the default action; `owner` may be null.
    // Returns at once; throws PlatformError when the hand-off cannot be started.
    virtual void Execute(const std::string& address, const std::string& verb, WindowHandle owner) = 0;
};

// Linux: xdg-open, spawned without a shell and never waited for. Windows: ShellExecuteW.
std::unique_ptr<Shell> makeSystemShell();

}  // namespace platform
