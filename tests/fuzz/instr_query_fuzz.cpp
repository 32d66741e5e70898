// The instrumentation query parser and the namespace moniker check over any text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/common/errors.h"
#include "platform/instrumentation/query.h"

namespace {

bool isName(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c == ' ' || c == '\t' || c == ',' || c == '*' || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)platform::instr::isLocalCimv2Moniker(text);
    platform::instr::ParsedQuery q;
    try {
        q = platform::instr::parseQuery(text);
    } catch (const platform::PlatformError&) {
        return 0;
    }
    fuzzcheck::check(isName(q.className), "class name", q.className);
    fuzzcheck::check(q.allProperties == q.properties.empty(), "either * or a property list");
    // Written out again in the plainest form, the query reads back the same.
    std::string again = "select ";
    if (q.allProperties) again += "*";
    for (std::size_t i = 0; i < q.properties.size(); ++i) {
        fuzzcheck::check(isName(q.properties[i]), "property name", q.properties[i]);
        again += (i ? ", " : "") + q.properties[i];
    }
    again += " from " + q.className;
    const auto r = platform::instr::parseQuery(again);
    fuzzcheck::check(r.allProperties == q.allProperties && r.properties == q.properties && r.className == q.className,
                     "round trip", again);
    return 0;
}
