// The print scheduler's configuration reader over any text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "platform/common/text.h"
#include "platform/instrumentation/linux/providers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto printers = platform::instr::parsePrintersConf(text);
    for (std::size_t i = 0; i < printers.size(); ++i) {
        fuzzcheck::wireText(printers[i].name, "printer name");
        if (printers[i].makeAndModel) {
            fuzzcheck::check(!printers[i].makeAndModel->empty(), "an empty model that is not nothing");
            fuzzcheck::wireText(*printers[i].makeAndModel, "make and model");
        }
        if (i > 0)
            fuzzcheck::check(!text::LessNoCase(printers[i].name, printers[i - 1].name), "printers out of order",
                             printers[i].name);
    }
    return 0;
}
