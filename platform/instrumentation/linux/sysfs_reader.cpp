#include "platform/instrumentation/linux/sysfs_reader.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <deque>
#include <filesystem>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/common/text.h"

namespace platform::instr {

namespace {

std::deque<std::string> splitPath(std::string_view path) {
    std::deque<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) slash = path.size();
        if (slash > start) parts.emplace_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

std::string joinParts(const std::vector<std::string>& parts) {
    if (parts.empty()) return "/";
    std::string out;
    for (const auto& p : parts) {
        out += '/';
        out += p;
    }
    return out;
}

// Links followed in one resolution before the path counts as a loop (the kernel's own limit).
constexpr int kMaxLinks = 40;

std::optional<std::string> resolveIn(const std::string& root, std::string_view path) {
    std::vector<std::string> done;
    std::deque<std::string> todo = splitPath(path);
    int links = 0;
    while (!todo.empty()) {
        std::string part = std::move(todo.front());
        todo.pop_front();
        if (part == ".") continue;
        if (part == "..") {
            if (!done.empty()) done.pop_back();
            continue;
        }
        done.push_back(std::move(part));
        const std::string host = (root == "/" ? "" : root) + joinParts(done);
        char target[PATH_MAX];
        const ssize_t n = ::readlink(host.c_str(), target, sizeof target);
        if (n <= 0) continue;  // not a link, or missing: keep the part as written
        // A loop, or a target too long to read whole: give up rather than follow it outside.
        if (++links > kMaxLinks || static_cast<std::size_t>(n) >= sizeof target) return std::nullopt;
        done.pop_back();
        std::string_view link(target, static_cast<std::size_t>(n));
        if (link.front() == '/') done.clear();
        auto parts = splitPath(link);
        todo.insert(todo.begin(), parts.begin(), parts.end());
    }
    return joinParts(done);
}

}  // namespace

std::string repairUtf8(std::string_view s) { return text::RepairUtf8(s); }

std::string cleanText(std::string_view bytes) {
    // Controls inside the text go as well: a name with one cannot be sent.
    return std::string(text::TrimRight(text::WireText(bytes), " "));
}

SysRoot::SysRoot(std::string root) {
    if (root.empty()) root = "/";
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::absolute(root, ec);
    if (ec) folder = root;
    // Lexically normal, without a trailing "/": no empty, "." or ".." parts.
    root_ = folder.lexically_normal().string();
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
}

std::string SysRoot::resolve(std::string_view path) const {
    return resolveIn(root_, path).value_or(std::string());
}

std::string SysRoot::hostPath(std::string_view path) const {
    auto resolved = resolveIn(root_, path);
    if (!resolved) return {};
    if (isLive()) return *resolved;
    return *resolved == "/" ? root_ : root_ + *resolved;
}

bool SysRoot::exists(std::string_view path) const {
    const std::string host = hostPath(path);
    struct stat st {};
    return !host.empty() && ::lstat(host.c_str(), &st) == 0;
}

bool SysRoot::isDirectory(std::string_view path) const {
    const std::string host = hostPath(path);
    struct stat st {};
    return !host.empty() && ::lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> SysRoot::readBytes(std::string_view path, std::size_t limit) const {
    const std::string host = hostPath(path);
    if (host.empty()) return std::nullopt;
    // Non-blocking and regular files only: a fifo or device in a tree must not hang the reader.
    const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string data;
    char buf[4096];
    bool failed = false;
    while (data.size() < limit) {
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, limit - data.size()));
        if (n < 0) {
            if (errno == EINTR) continue;
            failed = true;
            break;
        }
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (failed) return std::nullopt;
    return data;
}

std::optional<std::string> SysRoot::readText(std::string_view path) const {
    auto bytes = readBytes(path);
    if (!bytes) return std::nullopt;
    // Firmware and kernel strings end at a NUL; what a pad leaves after it is not text.
    std::string text = cleanText(std::string_view(*bytes).substr(0, bytes->find('\0')));
    if (text.empty()) return std::nullopt;
    return text;
}

std::vector<std::string> SysRoot::list(std::string_view path) const {
    std::vector<std::string> names;
    const std::string host = hostPath(path);
    if (host.empty()) return names;
    DIR* dir = ::opendir(host.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        std::string_view name(entry->d_name);
        if (name == "." || name == "..") continue;
        names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> SysRoot::linkName(std::string_view path) const {
    auto folder = resolveIn(root_, parentPath(path));
    if (!folder) return std::nullopt;
    const std::string resolved = joinPath(*folder, baseName(path));
    const std::string host = isLive() ? resolved : root_ + resolved;
    char target[PATH_MAX];
    const ssize_t n = ::readlink(host.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) return std::nullopt;
    std::string_view link(target, static_cast<std::size_t>(n));
    while (link.size() > 1 && link.back() == '/') link.remove_suffix(1);
    std::string name = baseName(link);
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    return name;
}

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty() || out.back() != '/') out += '/';
    while (!name.empty() && name.front() == '/') name.remove_prefix(1);
    out += name;
    return out;
}

namespace {

// A trailing "/" names the same folder; std::filesystem would read it as an empty last name.
std::filesystem::path withoutTrailingSlash(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return std::filesystem::path(path);
}

}  // namespace

std::string parentPath(std::string_view path) {
    const std::filesystem::path p = withoutTrailingSlash(path);
    if (p == "/") return "/";
    return p.has_parent_path() ? p.parent_path().string() : ".";
}

std::string baseName(std::string_view path) {
    const std::filesystem::path p = withoutTrailingSlash(path);
    return p.filename().string();
}

}  // namespace platform::instr
