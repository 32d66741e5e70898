#pragma once
// Stream buffers between the program's UTF-8 and a Windows handle. A console is read and written
// in UTF-16 (ReadConsoleW, WriteConsoleW), so no code page stands between the user's characters
// and the program; a pipe or a file carries bytes as they are, except that an input line that is
// not UTF-8 is taken to be in the console's input code page, as a program piping into this one
// writes it.
#include <streambuf>
#include <string>

#include <windows.h>

namespace platform::win {

class ConsoleInput final : public std::streambuf {
public:
    explicit ConsoleInput(HANDLE handle);

protected:
    int_type underflow() override;

private:
    bool ReadConsoleChunk();
    bool ReadBytes();

    HANDLE handle_;
    bool console_;
    bool ended_ = false;
    wchar_t highSurrogate_ = 0;  // the first half of a pair whose second half comes in the next read
    std::string raw_;            // bytes of a line not yet complete
    std::string text_;           // UTF-8 ready to be read
};

class ConsoleOutput final : public std::streambuf {
public:
    explicit ConsoleOutput(HANDLE handle);
    ~ConsoleOutput() override;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    void Write();

    HANDLE handle_;
    bool console_;
    std::string pending_;
};

}  // namespace platform::win
