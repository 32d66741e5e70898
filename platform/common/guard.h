#pragma once
// The program's failure styles, made visible at the call site.
//
//   guarded(fn)           run fn; a failure is dropped and reported as false
//   guardedCondition(fn)  evaluate a condition; a failing evaluation counts as true
//
// Only std::exception-derived failures are swallowed. ProgramEnded and other
// non-standard unwinds (a cancelled run) pass through every guard.
#include <exception>
#include <utility>

namespace platform {

template <typename Fn>
bool guarded(Fn&& fn) {
    try {
        std::forward<Fn>(fn)();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

template <typename Fn>
bool guardedCondition(Fn&& fn) {
    try {
        return static_cast<bool>(std::forward<Fn>(fn)());
    } catch (const std::exception&) {
        return true;
    }
}

}  // namespace platform
