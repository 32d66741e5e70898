#include "platform/console/console.h"

namespace platform {

std::size_t WholeUtf8Prefix(std::string_view bytes) {
    // A sequence is at most four bytes: only the last three can be the start of an unfinished one.
    const std::size_t size = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto c = static_cast<unsigned char>(bytes[size - back]);
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        std::size_t length = 1;
        if (c >= 0xC2 && c <= 0xDF) length = 2;
        else if (c >= 0xE0 && c <= 0xEF) length = 3;
        else if (c >= 0xF0 && c <= 0xF4) length = 4;
        return length > back ? size - back : size;
    }
    return size;
}

}  // namespace platform
