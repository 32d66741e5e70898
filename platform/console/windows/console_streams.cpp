#include "platform/console/windows/console_streams.h"

#include "platform/common/text.h"
#include "platform/common/windows/wide.h"
#include "platform/console/console.h"

namespace platform::win {
namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// A line of bytes in `codePage` as UTF-8.
std::string FromCodePage(const std::string& bytes, UINT codePage) {
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return text::RepairUtf8(bytes);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return Narrow(wide);
}

std::string AsUtf8(const std::string& line) {
    if (text::IsValidUtf8(line)) return line;
    const UINT codePage = GetConsoleCP();
    return FromCodePage(line, codePage != 0 ? codePage : GetACP());
}

}  // namespace

ConsoleInput::ConsoleInput(HANDLE handle) : handle_(handle), console_(IsConsole(handle)) {}

ConsoleInput::int_type ConsoleInput::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    text_.clear();
    while (text_.empty() && !ended_) ended_ = !(console_ ? ReadConsoleChunk() : ReadBytes());
    if (text_.empty()) return traits_type::eof();
    setg(text_.data(), text_.data(), text_.data() + text_.size());
    return traits_type::to_int_type(*gptr());
}

bool ConsoleInput::ReadConsoleChunk() {
    wchar_t chunk[256];
    DWORD read = 0;
    if (!ReadConsoleW(handle_, chunk, 256, &read, nullptr) || read == 0) return false;
    std::wstring wide;
    if (highSurrogate_) wide += highSurrogate_;
    highSurrogate_ = 0;
    wide.append(chunk, read);
    // Ctrl+Z typed at the start of a line ends the input, as the C runtime takes it.
    if (wide.front() == L'\x1A') return false;
    if (IS_HIGH_SURROGATE(wide.back())) {
        highSurrogate_ = wide.back();
        wide.pop_back();
    }
    text_ = Narrow(wide);
    return true;
}

bool ConsoleInput::ReadBytes() {
    char chunk[4096];
    DWORD read = 0;
    const bool more = ReadFile(handle_, chunk, sizeof chunk, &read, nullptr) && read > 0;
    raw_.append(chunk, read);
    // Each whole line is converted on its own: a pipe may mix UTF-8 lines with others.
    for (std::size_t eol; (eol = raw_.find('\n')) != std::string::npos; raw_.erase(0, eol + 1))
        text_ += AsUtf8(raw_.substr(0, eol)) + '\n';
    // The end, or a line too long to be a password, goes as it is.
    if (!more || raw_.size() > 65536) {
        text_ += AsUtf8(raw_);
        raw_.clear();
    }
    return more;
}

ConsoleOutput::ConsoleOutput(HANDLE handle) : handle_(handle), console_(IsConsole(handle)) {}

ConsoleOutput::~ConsoleOutput() { sync(); }

ConsoleOutput::int_type ConsoleOutput::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof())) pending_ += traits_type::to_char_type(c);
    if (pending_.size() >= 4096) Write();
    return traits_type::not_eof(c);
}

std::streamsize ConsoleOutput::xsputn(const char* s, std::streamsize n) {
    pending_.append(s, static_cast<std::size_t>(n));
    if (pending_.size() >= 4096) Write();
    return n;
}

int ConsoleOutput::sync() {
    Write();
    return 0;
}

void ConsoleOutput::Write() {
    if (!console_) {
        DWORD written = 0;
        if (!pending_.empty()) WriteFile(handle_, pending_.data(), static_cast<DWORD>(pending_.size()), &written, nullptr);
        pending_.clear();
        return;
    }
    // A character cut in two by a flush waits for its other half.
    const std::size_t whole = WholeUtf8Prefix(pending_);
    const std::wstring wide = Widen(text::RepairUtf8(std::string_view(pending_).substr(0, whole)));
    for (std::size_t at = 0; at < wide.size();) {
        DWORD written = 0;
        const DWORD n = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
        if (!WriteConsoleW(handle_, wide.data() + at, n, &written, nullptr) || written == 0) break;
        at += written;
    }
    pending_.erase(0, whole);
}

}  // namespace platform::win
