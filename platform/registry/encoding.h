#pragma once
// Text encodings of registry-export files, all converted to UTF-8 (the code page that the
// registry's ANSI functions hand out on Linux).
#include <string>
#include <string_view>

namespace platform {

void appendUtf8(std::string& out, char32_t codePoint);

// UTF-16 little-endian bytes; a stray last byte is dropped, unpaired surrogates become U+FFFD.
// NUL characters are kept.
std::string utf8FromUtf16le(std::string_view bytes);

// Bytes of the local 8-bit code page: valid UTF-8 passes through, every other byte is read as
// Windows-1252 (Latin-1 where 1252 leaves a hole).
std::string utf8FromLocal8Bit(std::string_view bytes);

// A whole file: UTF-16LE when it starts with FF FE, else UTF-8 (BOM removed) or 8-bit text.
std::string utf8FromRegFile(std::string_view bytes);

}  // namespace platform
