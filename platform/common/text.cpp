#include "platform/common/text.h"

#include <algorithm>

namespace text {

std::string_view TrimLeft(std::string_view s, std::string_view chars) {
    const std::size_t first = s.find_first_not_of(chars);
    return first == std::string_view::npos ? std::string_view() : s.substr(first);
}

std::string_view TrimRight(std::string_view s, std::string_view chars) {
    const std::size_t last = s.find_last_not_of(chars);
    return last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1);
}

std::string_view Trim(std::string_view s, std::string_view chars) { return TrimRight(TrimLeft(s, chars), chars); }

std::string_view TrimRightControls(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool LessNoCase(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string ToHex(std::string_view bytes, bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0x0F]);
    }
    return out;
}

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool isContinuation(unsigned char c) { return c >= 0x80 && c <= 0xBF; }

// The length of the well-formed sequence at `s[i]`, or the length of its longest well-formed
// beginning (at least 1) as a negative number when it is broken.
long sequenceAt(std::string_view s, std::size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) return 1;
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        if (b == 0xE0) lo = 0xA0;  // overlong
        if (b == 0xED) hi = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        if (b == 0xF0) lo = 0x90;  // overlong
        if (b == 0xF4) hi = 0x8F;  // beyond U+10FFFF
    }
    if (len == 0) return -1;
    std::size_t good = 1;
    while (good < len && i + good < s.size()) {
        const auto c = static_cast<unsigned char>(s[i + good]);
        const bool ok = good == 1 ? (c >= lo && c <= hi) : isContinuation(c);
        if (!ok) break;
        ++good;
    }
    return good == len ? static_cast<long>(len) : -static_cast<long>(good);
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
    if (i >= s.size()) return 0;
    const long n = sequenceAt(s, i);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

char32_t NextCodePoint(std::string_view s, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const long n = sequenceAt(s, i);
    if (n <= 1) {
        ++i;
        return lead;
    }
    char32_t c = lead & (0x7F >> n);
    for (long k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0x3F);
    i += static_cast<std::size_t>(n);
    return c;
}

bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const long n = sequenceAt(s, i);
        if (n < 0) return false;
        i += static_cast<std::size_t>(n);
    }
    return true;
}

std::string RepairUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const long n = sequenceAt(s, i);
        if (n > 0) {
            out.append(s.substr(i, static_cast<std::size_t>(n)));
            i += static_cast<std::size_t>(n);
        } else {
            out += kReplacement;
            i += static_cast<std::size_t>(-n);
        }
    }
    return out;
}

std::string WireText(std::string_view s) {
    const std::string repaired = RepairUtf8(s);
    std::string out;
    out.reserve(repaired.size());
    for (std::size_t i = 0; i < repaired.size(); ++i) {
        const auto c = static_cast<unsigned char>(repaired[i]);
        if (c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            out += ' ';
        } else if (c < 0x20 || c == 0x7F) {
            continue;
        } else if (c == 0xC2 && i + 1 < repaired.size() && static_cast<unsigned char>(repaired[i + 1]) <= 0x9F) {
            ++i;  // C1 controls U+0080..U+009F are C2 80..C2 9F (the repair left no other C2 pair)
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string JsonString(std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : RepairUtf8(s)) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b == 0x7F) {
            out += "\\u00";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string PercentEncode(std::string_view s) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

}  // namespace text
