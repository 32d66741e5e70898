// The os-release reader over any file, and its unquoting over any value.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "platform/instrumentation/linux/providers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto release = platform::instr::parseOsRelease(text);
    for (const auto* field : {&release.prettyName, &release.name, &release.version})
        if (*field) {
            fuzzcheck::check(!(*field)->empty(), "an empty field that is not nothing");
            fuzzcheck::wireText(**field, "os-release field");
        }
    // Unquoting only ever drops characters.
    const std::string unquoted = platform::instr::unquoteOsReleaseValue(text);
    fuzzcheck::check(unquoted.size() <= text.size(), "unquoting grew the value", unquoted);
    // A value in double quotes with every special character escaped reads back as itself.
    std::string quoted = "\"";
    for (char c : unquoted) {
        if (c == '"' || c == '\\' || c == '$' || c == '`') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string expected(unquoted);
    while (!expected.empty() && static_cast<unsigned char>(expected.back()) <= ' ') expected.pop_back();
    if (expected.size() == unquoted.size())
        fuzzcheck::check(platform::instr::unquoteOsReleaseValue(quoted) == unquoted, "quoting round trip", quoted);
    return 0;
}
