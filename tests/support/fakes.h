#pragma once
// Fakes of the platform services, and a bundle that hands them out as a platform::Platform.
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/common/errors.h"
#include "platform/platform.h"
#include "platform/registry/hive.h"

namespace fakes {

// Answers message boxes from a script (Yes when the script is empty) and records every box.
class Ui : public platform::Ui {
public:
    std::vector<platform::MessageBox> shown;
    std::deque<platform::Answer> answers;
    int doEventsCalls = 0;
    bool ended = false;
    std::function<void()> onDoEvents;  // runs inside each DoEvents, e.g. to click a button mid-run

    platform::Answer Show(const platform::MessageBox& box) override;
    void DoEvents() override;
    [[noreturn]] void End() override;  // records, then throws platform::ProgramEnded
};

// Real Qt window operations, but a screen of chosen size and a recorded pointer.
class WindowSystem : public platform::WindowSystem {
public:
    WindowSystem();
    double screenWidthPx = 1024, screenHeightPx = 768, twipsPerPixel = 15;
    std::vector<std::pair<int, int>> cursorMoves;

    std::uint32_t GetWindowLong(platform::WindowHandle w, int index) override { return real_->GetWindowLong(w, index); }
    void SetWindowLong(platform::WindowHandle w, int index, std::uint32_t v) override { real_->SetWindowLong(w, index, v); }
    platform::WindowHandle SetParent(platform::WindowHandle c, platform::WindowHandle p) override { return real_->SetParent(c, p); }
    void SetWindowPos(platform::WindowHandle w, platform::WindowHandle a, int x, int y, int cx, int cy, std::uint32_t f) override {
        real_->SetWindowPos(w, a, x, y, cx, cy, f);
    }
    platform::Rect GetWindowRect(platform::WindowHandle w) override { return real_->GetWindowRect(w); }
    void SetCursorPos(int x, int y) override { cursorMoves.emplace_back(x, y); }
    void SetFocus(platform::WindowHandle w) override { real_->SetFocus(w); }
    void DrawEdge(QPainter& p, platform::WindowHandle w, platform::Rect r, unsigned e, unsigned f) override {
        edges.push_back(r);
        real_->DrawEdge(p, w, r, e, f);
    }
    std::vector<platform::Rect> edges;
    double TwipsPerPixelX() override { return twipsPerPixel; }
    double TwipsPerPixelY() override { return twipsPerPixel; }
    double ScreenWidth() override { return screenWidthPx * twipsPerPixel; }
    double ScreenHeight() override { return screenHeightPx * twipsPerPixel; }

private:
    std::unique_ptr<platform::WindowSystem> real_;
};

class Shell : public platform::Shell {
public:
    struct Call { std::string address, verb; platform::WindowHandle owner; };
    std::vector<Call> calls;
    bool fail = false;
    void Execute(const std::string& address, const std::string& verb, platform::WindowHandle owner) override;
};

class Network : public platform::Network {
public:
    std::optional<std::string> address = std::string("192.0.2.10");  // nothing: LocalIP fails
    bool failClose = false;
    std::vector<std::string> calls;
    void Close() override;
    void Refresh() override;
    std::string LocalIP() override;
};

class GuidSource : public platform::GuidSource {
public:
    std::deque<platform::Guid> guids;  // handed out in order; a fixed GUID when empty
    std::int32_t status = 0;           // non-zero: CoCreateGuid fails
    std::int32_t CoCreateGuid(platform::Guid& guid) override;
};

// Answers addresses from a table; records every address requested, in order.
class RecordSource : public platform::RecordSource {
public:
    std::vector<std::string> requested;
    std::map<std::string, platform::RecordSet> replies;  // by exact address
    std::function<platform::RecordSet(const std::string&)> fallback;  // otherwise; null: an empty reply
    bool down = false;  // every request fails
    platform::RecordSet Open(const std::string& address) override;
};

// Classes of instances with their properties; a null optional is a null property.
class Instrumentation : public platform::Instrumentation {
public:
    using Props = std::map<std::string, std::optional<std::string>>;
    std::map<std::string, std::vector<Props>> classes;  // lower-case class name -> instances
    bool connectFails = false;
    std::vector<std::string> queries;
    std::unique_ptr<platform::InstrumentationServices> Connect(const std::string& moniker) override;
};

// The real in-memory hive, filled by the test, counting open handles, and able to force
// EnumKeyEx results by index (a name is still delivered when the forced status is 234).
class Registry : public platform::RegistryHive {
public:
    std::map<std::uint32_t, std::int32_t> enumStatus;
    int openHandles = 0;

    void SetString(const std::string& path, const std::string& name, const std::string& text);
    void SetDword(const std::string& path, const std::string& name, std::uint32_t value);
    void SetRaw(const std::string& path, const std::string& name, std::uint32_t type, const std::string& bytes);
    void AddSubkey(const std::string& path, const std::string& name);

    std::int32_t OpenKeyEx(platform::HKey root, const std::string& path, std::uint32_t options,
                           std::uint32_t access, platform::HKey& result) override;
    std::int32_t EnumKeyEx(platform::HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize) override;
    std::int32_t CloseKey(platform::HKey key) override;
};

// Every fake, handed out as the platform bundle.
struct TestPlatform {
    Registry registry;
    Instrumentation instrumentation;
    RecordSource records;
    Shell shell;
    GuidSource guids;
    Network network;
    Ui ui;
    WindowSystem windows;
    platform::Platform bundle{registry, instrumentation, records, shell, guids, network, ui, windows};
    platform::Platform& get() { return bundle; }
};

}  // namespace fakes
