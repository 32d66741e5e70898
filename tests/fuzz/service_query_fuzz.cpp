// The service's text readers: query strings and form bodies, percent-decoding, the journal's
// line form (which must read back exactly), UTF-8 repair and the escapes.
#include <string_view>

#include "dataservice/common/journal_format.h"
#include "dataservice/common/params.h"
#include "dataservice/common/markup.h"
#include "tests/fuzz/fuzz_target.h"
#include "platform/common/text.h"

using vantrel::fuzz::require;

VANTREL_FUZZ_TARGET(query) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const dataservice::Params params = dataservice::parseQuery(input);
    for (const auto& [key, value] : params) {
        require(dataservice::findParam(params, key) != nullptr);
        (void)value;
    }
    // The journal's text form reads back as the same pairs.
    require(dataservice::decodeParams(dataservice::encodeParams(params)) == params);
    require(dataservice::percentDecode(input, false).size() <= input.size());

    const std::string repaired = dataservice::xmlSafeText(input);
    for (std::size_t i = 0; i < repaired.size();) {
        const std::size_t n = text::Utf8SequenceLength(repaired, i);
        require(n > 0);
        i += n;
    }
    const std::string html = dataservice::htmlEscape(input);
    require(html.find_first_of("<>\"'") == std::string::npos);
    const std::string attribute = dataservice::xmlAttributeEscape(input);
    require(attribute.find_first_of("<>\"'\t\n\r") == std::string::npos);
    require(dataservice::escapeLine(input).find_first_of("\t\n\r") == std::string::npos);
}
