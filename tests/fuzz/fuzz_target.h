#pragma once
// One fuzz target: VANTREL_FUZZ_TARGET(name) { ...body over data, size... }
//
// The body becomes LLVMFuzzerTestOneInput, for libFuzzer (target fuzz_<name>) and, renamed, for
// the normal tests' replay of the seeds and kept inputs (tests/fuzz_replay). A body reports a
// broken invariant by aborting, which both the fuzzer and the sanitizer build catch.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace vantrel::fuzz {

// Stops the run when `ok` is false: the input found a fault.
inline void require(bool ok) {
    if (!ok) std::abort();
}

}  // namespace vantrel::fuzz

// The entry point is LLVMFuzzerTestOneInput; the replay build renames it per target.
#define VANTREL_FUZZ_TARGET(name)                                                      \
    static void vantrelFuzz_##name(const std::uint8_t* data, std::size_t size);         \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {  \
        vantrelFuzz_##name(data, size);                                                 \
        return 0;                                                                       \
    }                                                                                   \
    static void vantrelFuzz_##name(const std::uint8_t* data, std::size_t size)
