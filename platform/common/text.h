#pragma once
// Small text helpers shared by every reader of outside input. ASCII rules only: the texts they
// look at (file formats, headers, names of fields) are ASCII, whatever else the values hold.
#include <charconv>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace text {

inline constexpr std::string_view kBlanks = " \t";
inline constexpr std::string_view kWhiteSpace = " \t\r\n\f\v";

std::string_view TrimLeft(std::string_view s, std::string_view chars = kBlanks);
std::string_view TrimRight(std::string_view s, std::string_view chars = kBlanks);
std::string_view Trim(std::string_view s, std::string_view chars = kBlanks);
// Drops trailing blanks and control characters (a line end, a NUL pad of a firmware field).
std::string_view TrimRightControls(std::string_view s);

char LowerAscii(char c);
std::string LowerAscii(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool LessNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);

// Calls `line(view)` for each line of `text`, split at "\n" (a "\r" before it is kept, since
// some formats count it as content). A last line without "\n" is a line; an empty text has none.
template <class F>
void ForEachLine(std::string_view text, F&& line) {
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        if (eol == std::string_view::npos) {
            line(text);
            return;
        }
        line(text.substr(0, eol));
        text.remove_prefix(eol + 1);
    }
}

// The whole of `s` as a number in base `base`, or nothing (empty, a sign, anything left over,
// out of range).
template <class T>
std::optional<T> ParseWhole(std::string_view s, int base = 10) {
    T value{};
    if (s.empty() || s.front() == '-' || s.front() == '+') return std::nullopt;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

// The whole of `s` as a signed number: an optional "+" or "-", then digits only.
template <class T>
std::optional<T> ParseSigned(std::string_view s) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty() || s.front() == '+') return std::nullopt;
    T value{};
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

// One hexadecimal digit's value, or -1.
int HexDigit(char c);
// Every byte as two hexadecimal digits, lower case unless `upperCase`.
std::string ToHex(std::string_view bytes, bool upperCase = false);

// The length of the well-formed UTF-8 sequence that starts at `s[i]`, or 0 when there is none
// (also past the end).
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i);
bool IsValidUtf8(std::string_view s);
// The code point of the well-formed sequence at `s[i]` (i < s.size()), with `i` moved past it. A
// byte that starts no well-formed sequence stands for itself (0x80..0xFF, as in Latin-1) and `i`
// moves by one, so any bytes decode.
char32_t NextCodePoint(std::string_view s, std::size_t& i);
// `s` with every ill-formed sequence replaced by U+FFFD, the longest well-formed beginning of a
// broken sequence replaced once (as Unicode recommends).
std::string RepairUtf8(std::string_view s);
// Text the wire can carry, from any bytes: RepairUtf8, then every control character (C0, DEL,
// C1) dropped, except that a tab, a line end or a form feed becomes a blank so words stay apart.
std::string WireText(std::string_view s);
// A JSON string literal, quotes included, from any bytes: RepairUtf8, then '"' and '\\' escaped
// and every C0 control and DEL written as \u00xx; all else, non-ASCII included, as it is.
std::string JsonString(std::string_view s);

// Every byte but the unreserved ones (letters, digits, "-", ".", "_", "~") as %XX: a value as a
// query carries it.
std::string PercentEncode(std::string_view s);

}  // namespace text
