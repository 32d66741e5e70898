// dpkg's status file reader over any text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "packages_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto list = platform::parseDpkgStatus(text);
    // No stanza yields more than one package, and a stanza needs a line of its own.
    std::size_t lines = 0;
    for (char c : text) lines += c == '\n';
    fuzzcheck::check(list.size() <= lines + 1, "more packages than lines");
    fuzzcheck::packages(list, true);
    return 0;
}
