#pragma once
// What every fuzz target may assert about a reader's output, beyond not crashing: a failed
// check aborts, so libFuzzer keeps the input as a crash. Replayed in the normal test build
// (VANTREL_FUZZ_REPLAY), it throws instead, so one test names every input that fails.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/common/text.h"

namespace fuzzcheck {

[[noreturn]] inline void fail(const char* what, std::string_view value) {
#ifdef VANTREL_FUZZ_REPLAY
    throw std::logic_error(std::string(what) + ": \"" + std::string(value) + "\"");
#endif
    std::fprintf(stderr, "fuzz check failed: %s: \"%.*s\"\n", what, static_cast<int>(value.size()), value.data());
    std::abort();
}

inline void check(bool ok, const char* what, std::string_view value = {}) {
    if (!ok) fail(what, value);
}

// Text that the wire can carry: well-formed UTF-8 without NUL or other C0 controls and DEL.
inline bool isWireText(std::string_view s) {
    if (!text::IsValidUtf8(s)) return false;
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

inline void wireText(std::string_view s, const char* what) { check(isWireText(s), what, s); }

}  // namespace fuzzcheck
