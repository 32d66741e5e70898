#pragma once
// One fuzz target: VANTREL_FUZZ_TARGET(name) { ...body over data, size... }
//
// Built for libFuzzer (target fuzz_<name>), the body becomes LLVMFuzzerTestOneInput. Built into
// the normal tests (VANTREL_FUZZ_REPLAY), it registers itself by name so that a gtest replays
// the seed corpus and every kept crashing input through it. A body reports a broken invariant
// by aborting, which both the fuzzer and the sanitizer build catch.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

namespace vantrel::fuzz {

using Target = std::function<void(const std::uint8_t*, std::size_t)>;

inline std::map<std::string, Target>& targets() {
    static std::map<std::string, Target> all;
    return all;
}

struct Registrar {
    Registrar(const char* name, Target target) { targets()[name] = std::move(target); }
};

// Stops the run when `ok` is false: the input found a fault.
inline void require(bool ok) {
    if (!ok) std::abort();
}

}  // namespace vantrel::fuzz

#ifdef VANTREL_FUZZ_REPLAY
#define VANTREL_FUZZ_TARGET(name)                                                      \
    static void vantrelFuzz_##name(const std::uint8_t* data, std::size_t size);         \
    static const ::vantrel::fuzz::Registrar vantrelFuzzRegistrar_##name(#name, &vantrelFuzz_##name); \
    static void vantrelFuzz_##name(const std::uint8_t* data, std::size_t size)
#else
#define VANTREL_FUZZ_TARGET(name)                                                      \
    static void vantrelFuzz_##name(const std::uint8_t* data, std::size_t size);         \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {  \
        vantrelFuzz_##name(data, size);                                                 \
        return 0;                                                                       \
    }                                                                                   \
    static void vantrelFuzz_##name(const std::uint8_t* data, std::size_t size)
#endif
