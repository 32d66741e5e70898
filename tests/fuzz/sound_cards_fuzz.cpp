// The sound system's card list reader over any text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "platform/instrumentation/linux/providers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto rows = platform::instr::parseSoundCardList(text);
    std::size_t brackets = 0;
    for (char c : text) brackets += c == '[';
    fuzzcheck::check(rows.size() <= brackets, "a card without its short name");
    for (const auto& row : rows) {
        fuzzcheck::check(row.size() == 1, "one property per card");
        if (row[0]) {
            fuzzcheck::check(!row[0]->empty(), "an empty name that is not null");
            fuzzcheck::wireText(*row[0], "card name");
        }
    }
    return 0;
}
