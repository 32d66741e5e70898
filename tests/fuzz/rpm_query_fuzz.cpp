// The reader of rpm's query output over any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "packages_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto list = platform::parseRpmQuery(text);
    std::size_t tabs = 0;
    for (char c : text) tabs += c == '\t';
    fuzzcheck::check(list.size() <= tabs, "a package without its tab");
    fuzzcheck::packages(list, false);
    return 0;
}
