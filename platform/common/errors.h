#pragma once
// Failures of platform services, and the two unwinds that no guard may stop.
#include <stdexcept>
#include <string>

namespace platform {

// Every failing platform call throws this (or a std::exception of the standard library).
class PlatformError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raised by a test backend's immediate program end. Deliberately not a std::exception,
// so guards that swallow failures let it through.
struct ProgramEnded {
    int exitCode = 0;
};

}  // namespace platform
