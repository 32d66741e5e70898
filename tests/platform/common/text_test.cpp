// The shared text helpers: the edges every reader relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/common/text.h"

TEST(TextTrim, CutsOnlyTheNamedCharactersAndCanEmptyAText) {
    EXPECT_EQ(text::Trim(" \ta b\t "), "a b");
    EXPECT_EQ(text::Trim("\r\na\r\n"), "\r\na\r\n");  // blanks only, by default
    EXPECT_EQ(text::Trim("\r\na\r\n", text::kWhiteSpace), "a");
    EXPECT_EQ(text::Trim(" \t "), "");
    EXPECT_EQ(text::TrimLeft("  a  "), "a  ");
    EXPECT_EQ(text::TrimRight("  a  "), "  a");
    EXPECT_EQ(text::TrimRightControls(std::string("name\0\0\r\n ", 9)), "name");
}

TEST(TextCase, ComparesAsciiLettersWithoutCaseAndLeavesOtherBytesAlone) {
    EXPECT_TRUE(text::EqualsNoCase("MakeModel", "makemodel"));
    EXPECT_FALSE(text::EqualsNoCase("abc", "abcd"));
    EXPECT_FALSE(text::EqualsNoCase("\xC3\x89", "\xC3\xA9"));  // É and é: not ASCII
    EXPECT_TRUE(text::LessNoCase("alpha", "BETA"));
    EXPECT_FALSE(text::LessNoCase("BETA", "alpha"));
    EXPECT_TRUE(text::StartsWithNoCase("HTTPS://x", "https://"));
    EXPECT_FALSE(text::StartsWithNoCase("http", "https://"));
    EXPECT_EQ(text::LowerAscii("DWord:0A"), "dword:0a");
}

TEST(TextLines, SplitsAtLineFeedsKeepsCarriageReturnsAndSkipsNoLastLine) {
    std::vector<std::string> lines;
    text::ForEachLine("a\r\n\nb", [&](std::string_view l) { lines.emplace_back(l); });
    EXPECT_EQ(lines, (std::vector<std::string>{"a\r", "", "b"}));
    lines.clear();
    text::ForEachLine("x\n", [&](std::string_view l) { lines.emplace_back(l); });
    EXPECT_EQ(lines, (std::vector<std::string>{"x"}));
    lines.clear();
    text::ForEachLine("", [&](std::string_view l) { lines.emplace_back(l); });
    EXPECT_TRUE(lines.empty());
}

TEST(TextNumbers, ParsesWholeTextsOnlyInTheGivenBase) {
    EXPECT_EQ(text::ParseWhole<unsigned>("8086", 16), 0x8086u);
    EXPECT_EQ(text::ParseWhole<unsigned>("ffFF", 16), 0xFFFFu);
    EXPECT_FALSE(text::ParseWhole<unsigned>("", 16));
    EXPECT_FALSE(text::ParseWhole<unsigned>("12g", 16));
    EXPECT_FALSE(text::ParseWhole<unsigned>("-1", 10));
    EXPECT_FALSE(text::ParseWhole<unsigned char>("256", 10));
    EXPECT_EQ(text::HexDigit('b'), 11);
    EXPECT_EQ(text::HexDigit('G'), -1);
}

TEST(TextUtf8, AcceptsWellFormedTextAndReplacesEachBrokenSequenceOnce) {
    EXPECT_TRUE(text::IsValidUtf8("Caf\xC3\xA9 \xF0\x9F\x96\xA8"));
    EXPECT_FALSE(text::IsValidUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(text::IsValidUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(text::IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(text::IsValidUtf8("\xE2\x82"));          // cut short
    EXPECT_EQ(text::RepairUtf8("a\xE2\x82" "b\xFF"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    EXPECT_EQ(text::Utf8SequenceLength("\xE2\x82\xAC", 0), 3u);
    EXPECT_EQ(text::Utf8SequenceLength("\x80", 0), 0u);
}

TEST(TextUtf8, DecodesWellFormedSequencesAndTakesEveryOtherByteForItself) {
    const auto decode = [](std::string_view s) {
        std::u32string out;
        for (std::size_t i = 0; i < s.size();) out += text::NextCodePoint(s, i);
        return out;
    };
    EXPECT_EQ(decode("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x96\xA8"), U"a\u00E9\u20AC\U0001F5A8");
    EXPECT_EQ(decode("\xC3\xBF\xF4\x8F\xBF\xBF"), U"\u00FF\U0010FFFF");
    // Broken, overlong, surrogate, beyond U+10FFFF, cut short: byte by byte.
    EXPECT_EQ(decode("\xE9t\xE9"), U"\u00E9t\u00E9");
    EXPECT_EQ(decode("\xC0\xAF"), U"\u00C0\u00AF");
    EXPECT_EQ(decode("\xE0\x80\x80"), U"\u00E0\u0080\u0080");
    EXPECT_EQ(decode("\xED\xA0\x80"), U"\u00ED\u00A0\u0080");
    EXPECT_EQ(decode("\xF4\x90\x80\x80"), U"\u00F4\u0090\u0080\u0080");
    EXPECT_EQ(decode("x\xE2\x82"), U"x\u00E2\u0082");
}

TEST(TextWire, KeepsPrintableUtf8DropsControlsAndSeparatesWordsThatLinesAndTabsSeparated) {
    EXPECT_EQ(text::WireText("Caf\xC3\xA9 \xE2\x82\xAC 1"), "Caf\xC3\xA9 \xE2\x82\xAC 1");
    EXPECT_EQ(text::WireText(std::string("a\0b\x01" "c\x1b[0m\x7f", 10)), "abc[0m");
    EXPECT_EQ(text::WireText("one\ttwo\r\nthree\ffour"), "one two  three four");
    EXPECT_EQ(text::WireText("x\xC2\x85y\xC2\xA0z"), "xy\xC2\xA0z");  // NEL goes, no-break space stays
    EXPECT_EQ(text::WireText("\xFF\xC2"), "\xEF\xBF\xBD\xEF\xBF\xBD");   // repaired, not dropped
    EXPECT_EQ(text::WireText(""), "");
}

TEST(TextJson, EscapesQuotesBackslashesAndControlsAndRepairsWhatIsNotUtf8) {
    EXPECT_EQ(text::JsonString(""), "\"\"");
    EXPECT_EQ(text::JsonString("Say \"hi\"\\"), "\"Say \\\"hi\\\"\\\\\"");
    EXPECT_EQ(text::JsonString(std::string("a\0b\x01\n\x1f\x7f", 7)), "\"a\\u0000b\\u0001\\u000a\\u001f\\u007f\"");
    EXPECT_EQ(text::JsonString("caf\xC3\xA9 \xE2\x82\xAC"), "\"caf\xC3\xA9 \xE2\x82\xAC\"");
    // One U+FFFD for the longest broken beginning, one for each stray byte.
    EXPECT_EQ(text::JsonString("a\xE2\x82" "b\xFF"), "\"a\xEF\xBF\xBD" "b\xEF\xBF\xBD\"");
}
