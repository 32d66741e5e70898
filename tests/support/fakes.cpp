#include "tests/support/fakes.h"

#include <algorithm>
#include <cstring>

#include <QCoreApplication>

#include "platform/common/text.h"

namespace fakes {
namespace {

class FakeInstance : public platform::Instance {
public:
    explicit FakeInstance(Instrumentation::Props props) : props_(std::move(props)) {}
    platform::PropertyValue Get(const std::string& property) const override {
        for (const auto& [name, value] : props_)
            if (text::EqualsNoCase(name, property)) return value;
        throw platform::PlatformError("no property " + property);
    }

private:
    Instrumentation::Props props_;
};

class FakeResult : public platform::QueryResult {
public:
    explicit FakeResult(std::vector<Instrumentation::Props> items) : items_(std::move(items)) {}
    std::unique_ptr<platform::Instance> Next() override {
        if (next_ >= items_.size()) return nullptr;
        return std::make_unique<FakeInstance>(items_[next_++]);
    }

private:
    std::vector<Instrumentation::Props> items_;
    std::size_t next_ = 0;
};

class FakeServices : public platform::InstrumentationServices {
public:
    explicit FakeServices(Instrumentation& owner) : owner_(owner) {}
    std::unique_ptr<platform::QueryResult> ExecQuery(const std::string& query) override {
        owner_.queries.push_back(query);
        const std::string q = text::LowerAscii(query);
        const auto from = q.find(" from ");
        if (from == std::string::npos) throw platform::PlatformError("bad query");
        std::string cls = q.substr(from + 6);
        cls.erase(std::remove(cls.begin(), cls.end(), ' '), cls.end());
        auto it = owner_.classes.find(cls);
        if (it == owner_.classes.end()) return std::make_unique<FakeResult>(std::vector<Instrumentation::Props>{});
        return std::make_unique<FakeResult>(it->second);
    }

private:
    Instrumentation& owner_;
};

}  // namespace

platform::Answer Ui::Show(const platform::MessageBox& box) {
    shown.push_back(box);
    if (answers.empty()) return box.buttons == platform::Buttons::OK ? platform::Answer::OK : platform::Answer::Yes;
    const platform::Answer a = answers.front();
    answers.pop_front();
    return a;
}

void Ui::DoEvents() {
    ++doEventsCalls;
    QCoreApplication::processEvents();
    if (onDoEvents) onDoEvents();
}

void Ui::End() {
    ended = true;
    throw platform::ProgramEnded{};
}

WindowSystem::WindowSystem() : real_(platform::makeQtWindowSystem()) {}

void Shell::Execute(const std::string& address, const std::string& verb, platform::WindowHandle owner) {
    calls.push_back({address, verb, owner});
    if (fail) throw platform::PlatformError("no browser");
}

void Network::Close() {
    calls.push_back("Close");
    if (failClose) throw platform::PlatformError("close failed");
}

void Network::Refresh() { calls.push_back("Refresh"); }

std::string Network::LocalIP() {
    calls.push_back("LocalIP");
    if (!address) throw platform::PlatformError("no address");
    return *address;
}

std::int32_t GuidSource::CoCreateGuid(platform::Guid& guid) {
    if (status != 0) return status;
    if (guids.empty()) {
        guid = platform::Guid{0x1A2B3C4D, 0x5E6F, 0x7A8B, {1, 2, 3, 4, 5, 6, 7, 8}};
    } else {
        guid = guids.front();
        guids.pop_front();
    }
    return 0;
}

platform::RecordSet RecordSource::Open(const std::string& address) {
    requested.push_back(address);
    if (down) throw platform::PlatformError("connection refused");
    if (auto it = replies.find(address); it != replies.end()) return it->second;
    if (fallback) return fallback(address);
    return platform::RecordSet{};
}

std::unique_ptr<platform::InstrumentationServices> Instrumentation::Connect(const std::string&) {
    if (connectFails) throw platform::PlatformError("no instrumentation");
    return std::make_unique<FakeServices>(*this);
}

void Registry::SetRaw(const std::string& path, const std::string& name, std::uint32_t type, const std::string& bytes) {
    keyAt(path).setValue(name, type, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

void Registry::SetString(const std::string& path, const std::string& name, const std::string& text) {
    SetRaw(path, name, platform::REG_SZ, text + std::string(1, '\0'));
}

void Registry::SetDword(const std::string& path, const std::string& name, std::uint32_t v) {
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &v, 4);
    SetRaw(path, name, platform::REG_DWORD, bytes);
}

void Registry::AddSubkey(const std::string& path, const std::string& name) { keyAt(path + "\\" + name); }

std::int32_t Registry::OpenKeyEx(platform::HKey root, const std::string& path, std::uint32_t options,
                                 std::uint32_t access, platform::HKey& result) {
    const std::int32_t status = RegistryHive::OpenKeyEx(root, path, options, access, result);
    if (status == platform::ERROR_SUCCESS) ++openHandles;
    return status;
}

std::int32_t Registry::EnumKeyEx(platform::HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize) {
    const auto forced = enumStatus.find(index);
    if (forced != enumStatus.end() && forced->second != platform::ERROR_MORE_DATA) return forced->second;
    const std::int32_t status = RegistryHive::EnumKeyEx(key, index, name, nameSize);
    if (forced != enumStatus.end() && status == platform::ERROR_SUCCESS) return platform::ERROR_MORE_DATA;
    return status;
}

std::int32_t Registry::CloseKey(platform::HKey key) {
    const std::int32_t status = RegistryHive::CloseKey(key);
    if (status == platform::ERROR_SUCCESS) --openHandles;
    return status;
}

}  // namespace fakes
