#pragma once
// The program's console: its arguments and standard streams as UTF-8, the program's own texts,
// whatever code pages the system's console uses; and the echo of typed input, which a password
// turns off.
#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Console {
public:
    virtual ~Console() = default;
    virtual std::istream& In() = 0;
    virtual std::ostream& Out() = 0;
    virtual std::ostream& Err() = 0;  // written through at once
    // The command line's arguments after the program's name.
    virtual std::vector<std::string> Arguments(int argc, char** argv) = 0;
    // Whether standard input is typed at a terminal (not a pipe or a file).
    virtual bool InputIsTerminal() = 0;
    // Stops (false) or restarts (true) the terminal's echo of typed input; nothing elsewhere.
    virtual void Echo(bool on) = 0;
};

// The process's own standard streams and command line.
std::unique_ptr<Console> makeSystemConsole();

// How much of `bytes` ends on a whole UTF-8 sequence: what may be converted now, the rest
// waiting for the bytes that complete it. Bytes that can start no sequence count as whole.
std::size_t WholeUtf8Prefix(std::string_view bytes);

}  // namespace platform
