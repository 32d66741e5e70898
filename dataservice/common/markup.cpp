#include "dataservice/common/markup.h"

#include "platform/common/text.h"

namespace dataservice {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

std::string escapeMarkup(std::string_view text, const char* apostrophe, bool keepWhitespace) {
    const std::string clean = xmlSafeText(text);
    std::string out;
    out.reserve(clean.size() + 16);
    for (const char c : clean) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += apostrophe; break;
            case '\t': if (keepWhitespace) out += "&#9;"; else out.push_back(c); break;
            case '\n': if (keepWhitespace) out += "&#10;"; else out.push_back(c); break;
            case '\r': if (keepWhitespace) out += "&#13;"; else out.push_back(c); break;
            default: out.push_back(c);
        }
    }
    return out;
}

}  // namespace

std::string xmlSafeText(std::string_view text) {
    const std::string repaired = text::RepairUtf8(text);
    std::string out;
    out.reserve(repaired.size());
    for (std::size_t i = 0; i < repaired.size(); ++i) {
        const auto c = static_cast<unsigned char>(repaired[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            out += kReplacement;
        } else if (c == 0xEF && i + 2 < repaired.size() && static_cast<unsigned char>(repaired[i + 1]) == 0xBF &&
                   (static_cast<unsigned char>(repaired[i + 2]) & 0xFE) == 0xBE) {
            out += kReplacement;  // U+FFFE, U+FFFF
            i += 2;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::string xmlAttributeEscape(std::string_view text) { return escapeMarkup(text, "&apos;", true); }

std::string htmlEscape(std::string_view text) { return escapeMarkup(text, "&#39;", false); }

}  // namespace dataservice
