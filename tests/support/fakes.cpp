#include "tests/support/fakes.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include <QCoreApplication>

namespace fakes {
namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

class FakeInstance : public platform::Instance {
public:
    explicit FakeInstance(Instrumentation::Props props) : props_(std::move(props)) {}
    platform::PropertyValue Get(const std::string& property) const override {
        for (const auto& [name, value] : props_)
            if (lower(name) == lower(property)) return value;
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
        const std::string q = lower(query);
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

void Shell::Execute(const std::string& address, const std::string& verb, QWidget* owner) {
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

Registry::Key* Registry::Find(const std::string& path) {
    for (auto& [p, key] : keys)
        if (lower(p) == lower(path)) return &key;
    return nullptr;
}

void Registry::SetRaw(const std::string& path, const std::string& name, std::uint32_t type, const std::string& bytes) {
    keys[path].values[name] = Value{type, bytes};
}

void Registry::SetString(const std::string& path, const std::string& name, const std::string& text) {
    SetRaw(path, name, platform::REG_SZ, text + std::string(1, '\0'));
}

void Registry::SetDword(const std::string& path, const std::string& name, std::uint32_t v) {
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &v, 4);
    SetRaw(path, name, platform::REG_DWORD, bytes);
}

void Registry::AddSubkey(const std::string& path, const std::string& name) {
    keys[path].subkeys.push_back(name);
    keys[path + "\\" + name];
}

std::int32_t Registry::OpenKeyEx(platform::HKey root, const std::string& path, std::uint32_t, std::uint32_t,
                                 platform::HKey& result) {
    std::string full = path;
    if (root != platform::HKEY_LOCAL_MACHINE) {
        auto it = open_.find(root);
        if (it == open_.end()) return platform::ERROR_INVALID_HANDLE;
        full = it->second + "\\" + path;
    }
    if (!Find(full)) return platform::ERROR_FILE_NOT_FOUND;
    result = next_++;
    open_[result] = full;
    ++openHandles;
    return platform::ERROR_SUCCESS;
}

std::int32_t Registry::QueryValueEx(platform::HKey key, const std::string& name, std::uint32_t* type,
                                    std::uint8_t* data, std::uint32_t* size) {
    auto it = open_.find(key);
    if (it == open_.end()) return platform::ERROR_INVALID_HANDLE;
    Key* k = Find(it->second);
    const Value* v = nullptr;
    for (auto& [n, value] : k->values)
        if (lower(n) == lower(name)) v = &value;
    if (!v) return platform::ERROR_FILE_NOT_FOUND;
    if (type) *type = v->type;
    if (!size) return data ? platform::ERROR_INVALID_PARAMETER : platform::ERROR_SUCCESS;
    const auto needed = static_cast<std::uint32_t>(v->bytes.size());
    if (!data) { *size = needed; return platform::ERROR_SUCCESS; }
    if (*size < needed) { *size = needed; return platform::ERROR_MORE_DATA; }
    std::memcpy(data, v->bytes.data(), needed);
    *size = needed;
    return platform::ERROR_SUCCESS;
}

std::int32_t Registry::QueryInfoKey(platform::HKey key, std::uint32_t* subKeys, std::uint32_t* maxLen) {
    auto it = open_.find(key);
    if (it == open_.end()) return platform::ERROR_INVALID_HANDLE;
    Key* k = Find(it->second);
    std::uint32_t longest = 0;
    for (const auto& s : k->subkeys) longest = std::max<std::uint32_t>(longest, s.size());
    if (subKeys) *subKeys = static_cast<std::uint32_t>(k->subkeys.size());
    if (maxLen) *maxLen = longest;
    return platform::ERROR_SUCCESS;
}

std::int32_t Registry::EnumKeyEx(platform::HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize) {
    auto it = open_.find(key);
    if (it == open_.end()) return platform::ERROR_INVALID_HANDLE;
    if (auto forced = enumStatus.find(index); forced != enumStatus.end() && forced->second != platform::ERROR_MORE_DATA)
        return forced->second;
    Key* k = Find(it->second);
    if (index >= k->subkeys.size()) return platform::ERROR_NO_MORE_ITEMS;
    const std::string& s = k->subkeys[index];
    if (s.size() + 1 > *nameSize) return platform::ERROR_MORE_DATA;
    std::memcpy(name, s.c_str(), s.size() + 1);
    *nameSize = static_cast<std::uint32_t>(s.size());
    if (enumStatus.count(index)) return platform::ERROR_MORE_DATA;  // a name delivered with status 234
    return platform::ERROR_SUCCESS;
}

std::int32_t Registry::CloseKey(platform::HKey key) {
    if (!open_.erase(key)) return platform::ERROR_INVALID_HANDLE;
    --openHandles;
    return platform::ERROR_SUCCESS;
}

}  // namespace fakes
