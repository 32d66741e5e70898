#pragma once
// vantrel-collect: the wizard's collection session without a window, so the same requests in the
// same order with the same texts: version check, account check or evaluation identity, then the run.
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "session/session.h"

namespace collect {

// The operating-system services the program uses.
using Services = session::Services;

// Exit statuses.
inline constexpr int kComplete = 0;
inline constexpr int kNotComplete = 1;
inline constexpr int kBadUsage = 2;
inline constexpr int kRefused = 3;

struct Streams {
    std::istream& in;   // the password, one line
    std::ostream& out;  // the final text; with --dry-run the requests
    std::ostream& err;  // progress lines and messages
    // Called with false before the password is read and with true after: a terminal stops
    // echoing meanwhile. May be empty.
    std::function<void(bool)> echo = {};
};

// The whole program after its services are built; returns the exit status.
int Main(const std::vector<std::string>& args, Services services, Streams streams);

// One request as --dry-run prints it: {"page":"...","KEY":"value",...} with the keys in order.
// Bytes that are not UTF-8 are repaired (text::RepairUtf8) so that the line stays valid JSON.
std::string RequestJson(const std::string& page, const std::vector<std::pair<std::string, std::string>>& query);

}  // namespace collect
