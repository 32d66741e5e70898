// The console under Wine (or Windows): characters typed into a console of the test's own and
// written to one come through as the program's UTF-8, whatever the console's code pages say; a
// pipe carries UTF-8 as it is and a line in the console's code page is converted.
#include <string>

#include <gtest/gtest.h>

#include "platform/console/windows/system_console.h"

namespace {

const std::wstring kTyped = L"p\u00E4ss w\u00F6rd \u20AC\U0001D11E";
const std::string kTypedUtf8 = "p\xC3\xA4ss w\xC3\xB6rd \xE2\x82\xAC\xF0\x9D\x84\x9E";

// A console of the process's own: the one it was started in (a terminal, under Wine), else a new
// one. Wine can make one only on a terminal or a display: elsewhere these tests are skipped, and
// ctest runs them once more on a terminal of script(1)'s.
class TypedConsole : public testing::Test {
protected:
    void SetUp() override {
        if (GetConsoleCP() == 0) AllocConsole();
        in_ = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
        DWORD mode = 0;
        if (in_ == INVALID_HANDLE_VALUE || !GetConsoleMode(in_, &mode)) GTEST_SKIP() << "no console here";
        // A code page that holds only some of the typed letters: it must not matter.
        SetConsoleCP(850);
        SetConsoleOutputCP(850);
    }
    void TearDown() override {
        if (in_ != INVALID_HANDLE_VALUE) CloseHandle(in_);
    }

    // Key presses as a keyboard makes them: one record per UTF-16 unit, then Enter.
    void Type(const std::wstring& keys) {
        std::wstring all = keys + L"\r";
        for (wchar_t unit : all) {
            INPUT_RECORD record{};
            record.EventType = KEY_EVENT;
            record.Event.KeyEvent.bKeyDown = TRUE;
            record.Event.KeyEvent.wRepeatCount = 1;
            record.Event.KeyEvent.wVirtualKeyCode = unit == L'\r' ? VK_RETURN : 0;
            record.Event.KeyEvent.uChar.UnicodeChar = unit;
            DWORD written = 0;
            ASSERT_TRUE(WriteConsoleInputW(in_, &record, 1, &written));
        }
    }

    HANDLE in_ = INVALID_HANDLE_VALUE;
};

std::string WithoutCarriageReturn(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

TEST_F(TypedConsole, ReadsATypedPasswordAsUtf8WithEchoOff) {
    Type(kTyped);
    auto console = platform::makeConsoleOver(in_, GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE));
    ASSERT_TRUE(console->InputIsTerminal());
    console->Echo(false);
    DWORD mode = 0;
    GetConsoleMode(in_, &mode);
    EXPECT_EQ(mode & ENABLE_ECHO_INPUT, 0u);
    std::string line;
    ASSERT_TRUE(std::getline(console->In(), line));
    EXPECT_EQ(WithoutCarriageReturn(line), kTypedUtf8);
    console->Echo(true);
    GetConsoleMode(in_, &mode);
    EXPECT_NE(mode & ENABLE_ECHO_INPUT, 0u);
}

TEST_F(TypedConsole, WritesUtf8TextAsTheCharactersItHolds) {
    HANDLE screen = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE);
    {
        auto console = platform::makeConsoleOver(in_, screen, screen);
        // Cut in the middle of a character by a flush: the halves still make one character.
        console->Out() << kTypedUtf8.substr(0, 2) << std::flush << kTypedUtf8.substr(2);
    }  // written out at the end at the latest
    std::wstring shown(kTyped.size(), L'\0');
    DWORD read = 0;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(screen, shown.data(), static_cast<DWORD>(shown.size()), {0, 0}, &read));
    shown.resize(read);
    EXPECT_EQ(shown, kTyped);
    CloseHandle(screen);
}

// A line as a program piping into this one writes it: in the console's code page, else the
// system's.
std::string InThePipesCodePage(const std::wstring& text) {
    const UINT codePage = GetConsoleCP() != 0 ? GetConsoleCP() : GetACP();
    std::string bytes(text.size() * 4, '\0');
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                      static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return bytes;
}

TEST(PipedConsole, CarriesUtf8AsItIsAndConvertsALineInTheCodePage) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    const std::string bytes = InThePipesCodePage(L"p\u00E4ssw\u00F6rd") + "\r\n" + kTypedUtf8 + "\nlast";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writeEnd, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(writeEnd);
    auto console = platform::makeConsoleOver(readEnd, GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE));
    EXPECT_FALSE(console->InputIsTerminal());
    std::string line;
    ASSERT_TRUE(std::getline(console->In(), line));
    EXPECT_EQ(WithoutCarriageReturn(line), "p\xC3\xA4ssw\xC3\xB6rd");
    ASSERT_TRUE(std::getline(console->In(), line));
    EXPECT_EQ(line, kTypedUtf8);
    ASSERT_TRUE(std::getline(console->In(), line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(std::getline(console->In(), line));
    CloseHandle(readEnd);
}

TEST(PipedConsole, WritesTheBytesAsTheyAre) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    {
        auto console = platform::makeConsoleOver(readEnd, writeEnd, writeEnd);
        console->Out() << kTypedUtf8;
        console->Err() << "!";  // at once, before the output's end
    }
    CloseHandle(writeEnd);
    std::string got(256, '\0');
    DWORD read = 0, total = 0;
    while (ReadFile(readEnd, got.data() + total, static_cast<DWORD>(got.size() - total), &read, nullptr) && read > 0)
        total += read;
    got.resize(total);
    EXPECT_EQ(got, "!" + kTypedUtf8);
    CloseHandle(readEnd);
}

}  // namespace
