#pragma once
// Reads files of a machine tree (sysfs, procfs, /etc) below a root folder. Paths are given as
// the machine sees them ("/sys/class/net"); symbolic links are followed inside the tree, so an
// absolute link target or a ".." never leaves the root. Nothing here throws on a missing or
// unreadable file: the answer is simply empty.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::instr {

// Replaces every byte that does not belong to a well-formed UTF-8 sequence with U+FFFD.
std::string repairUtf8(std::string_view bytes);

// Text the wire can carry (text::WireText: bad bytes replaced, control characters gone, a tab or
// line end a blank), without trailing blanks.
std::string cleanText(std::string_view bytes);

class SysRoot {
public:
    // `root` is a folder of this machine; "" means "/".
    explicit SysRoot(std::string root);

    // The root as given, normalised: absolute, without a trailing "/" (except "/" itself).
    const std::string& root() const { return root_; }
    // True when the tree is the running machine itself.
    bool isLive() const { return root_ == "/"; }

    // `path` with every link followed inside the tree; the result is again a path as the
    // machine sees it. Parts that do not exist are kept as written.
    std::string resolve(std::string_view path) const;
    // Where `path` lies on this machine's file system (after resolve).
    std::string hostPath(std::string_view path) const;

    bool exists(std::string_view path) const;
    bool isDirectory(std::string_view path) const;

    // The bytes of a regular file (at most `limit`), or nothing when it cannot be read.
    std::optional<std::string> readBytes(std::string_view path, std::size_t limit = 1 << 16) const;
    // cleanText of the file up to its first NUL; nothing when it is missing, unreadable or
    // cleans to empty.
    std::optional<std::string> readText(std::string_view path) const;
    // The names in a folder, sorted bytewise; empty when it cannot be read.
    std::vector<std::string> list(std::string_view path) const;
    // The last part of a link's target ("../../bus/pci/drivers/i915" gives "i915"), or nothing
    // when `path` is not a link.
    std::optional<std::string> linkName(std::string_view path) const;

private:
    std::string root_;
};

// "/a/b" + "c" gives "/a/b/c".
std::string joinPath(std::string_view folder, std::string_view name);
// "/a/b/c" gives "/a/b"; "/" stays "/".
std::string parentPath(std::string_view path);
// "/a/b/c" gives "c".
std::string baseName(std::string_view path);

}  // namespace platform::instr
