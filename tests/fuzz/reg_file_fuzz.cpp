// The registry-export reader over any file: UTF-16 with a byte-order mark, UTF-8 or 8-bit text.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"

namespace {

void walk(const platform::RegistryKey& key, int depth) {
    fuzzcheck::check(depth < 10000, "depth");
    fuzzcheck::check(text::IsValidUtf8(key.name()), "key name", key.name());
    for (const auto& v : key.values()) {
        fuzzcheck::check(text::IsValidUtf8(v.name), "value name", v.name);
        if (v.type == platform::REG_SZ || v.type == platform::REG_EXPAND_SZ) {
            // Texts are UTF-8, whatever the file's encoding was.
            const std::string_view s(reinterpret_cast<const char*>(v.data.data()), v.data.size());
            fuzzcheck::check(text::IsValidUtf8(s), "text value", s);
        }
    }
    const platform::RegistryKey* previous = nullptr;
    for (const auto& sub : key.subkeys()) {
        fuzzcheck::check(!sub->name().empty(), "empty subkey name");
        // A registry enumerates subkeys in name order, no two the same regardless of case.
        if (previous)
            fuzzcheck::check(platform::compareRegistryNames(previous->name(), sub->name()) < 0, "subkey order",
                             sub->name());
        fuzzcheck::check(key.findSubkey(sub->name()) == sub.get(), "subkey found by its name", sub->name());
        previous = sub.get();
        walk(*sub, depth + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    bool strictOk = false;
    try {
        const auto root = platform::parseRegFile(bytes);
        fuzzcheck::check(root != nullptr, "no root key");
        walk(*root, 0);
        strictOk = true;
    } catch (const platform::RegFileError& e) {
        fuzzcheck::check(e.line() >= 0, "negative error line");
    }
    // Skipping broken lines keeps what is readable; a file without broken lines loses nothing.
    std::vector<platform::RegFileError> skipped;
    try {
        const auto root = platform::parseRegFile(bytes, skipped);
        walk(*root, 0);
        fuzzcheck::check(strictOk == skipped.empty(), "skipped lines in a file that reads whole");
        for (std::size_t i = 1; i < skipped.size(); ++i)
            fuzzcheck::check(skipped[i - 1].line() < skipped[i].line(), "skipped lines out of order");
    } catch (const platform::RegFileError& e) {
        fuzzcheck::check(!strictOk && skipped.empty(), "only a missing header fails the lenient read");
    }
    return 0;
}
