#include "dataservice/common/params.h"

#include "platform/common/text.h"

namespace dataservice {

std::string percentDecode(std::string_view text, bool plusIsSpace) {
    using text::HexDigit;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

Params splitPairs(std::string_view text, bool plusIsSpace) {
    Params params;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('&', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view piece = text.substr(start, end - start);
        if (!piece.empty()) {
            const std::size_t eq = piece.find('=');
            if (eq == std::string_view::npos)
                params.emplace_back(percentDecode(piece, plusIsSpace), std::string());
            else
                params.emplace_back(percentDecode(piece.substr(0, eq), plusIsSpace),
                                    percentDecode(piece.substr(eq + 1), plusIsSpace));
        }
        start = end + 1;
    }
    return params;
}

const std::string* findParam(const Params& params, std::string_view key) {
    for (const auto& [k, v] : params)
        if (text::EqualsNoCase(k, key)) return &v;
    return nullptr;
}

}  // namespace dataservice
