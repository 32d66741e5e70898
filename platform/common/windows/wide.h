#pragma once
// UTF-8, the program's texts, to and from UTF-16, the system's own; and a status's message.
#include <string>

#include <windows.h>

namespace platform::win {

inline std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

inline std::string Narrow(const wchar_t* text, std::size_t length) {
    if (length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), narrow.data(), n, nullptr, nullptr);
    return narrow;
}

inline std::string Narrow(const std::wstring& text) { return Narrow(text.data(), text.size()); }

// "0x80041010" and the like, for the messages of failures.
inline std::string Hex(unsigned long status) {
    char text[16];
    wsprintfA(text, "0x%08lX", status);
    return text;
}

}  // namespace platform::win
