#include "dataservice/text.h"

#include <ctime>

#include "platform/common/text.h"

namespace dataservice {
namespace {

using text::HexDigit;

const char kReplacement[] = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at text[i] and its code point; 0 when malformed.
std::size_t sequenceAt(std::string_view text, std::size_t i, char32_t& cp) {
    const std::size_t len = text::Utf8SequenceLength(text, i);
    if (len == 0) return 0;
    const auto c = static_cast<unsigned char>(text[i]);
    cp = len == 1 ? c : c & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    return len;
}

bool xmlAllowed(char32_t cp) {
    if (cp < 0x20) return cp == 0x09 || cp == 0x0A || cp == 0x0D;
    return cp != 0xFFFE && cp != 0xFFFF;
}

}  // namespace

std::string percentDecode(std::string_view text, bool plusIsSpace) {
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

Params parseQuery(std::string_view rawQuery) {
    Params params;
    std::size_t start = 0;
    while (start <= rawQuery.size()) {
        std::size_t end = rawQuery.find('&', start);
        if (end == std::string_view::npos) end = rawQuery.size();
        const std::string_view piece = rawQuery.substr(start, end - start);
        if (!piece.empty()) {
            const std::size_t eq = piece.find('=');
            if (eq == std::string_view::npos)
                params.emplace_back(percentDecode(piece, true), std::string());
            else
                params.emplace_back(percentDecode(piece.substr(0, eq), true),
                                    percentDecode(piece.substr(eq + 1), true));
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


std::string repairUtf8(std::string_view text, bool xmlSafe) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        const std::size_t len = sequenceAt(text, i, cp);
        if (len == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        if (xmlSafe && !xmlAllowed(cp)) out += kReplacement;
        else out.append(text.substr(i, len));
        i += len;
    }
    return out;
}

namespace {

// Markup escapes; attribute values also keep their tabs and line breaks as references.
std::string escapeMarkup(std::string_view text, const char* apostrophe, bool keepWhitespace) {
    const std::string clean = repairUtf8(text, true);
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

std::string xmlAttributeEscape(std::string_view text) { return escapeMarkup(text, "&apos;", true); }

std::string htmlEscape(std::string_view text) { return escapeMarkup(text, "&#39;", false); }

std::string localTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

}  // namespace dataservice
