#pragma once
// The sub-commands that manage the database from the command line.
#include <optional>
#include <string>
#include <vector>

#include "dataservice/store/store.h"

namespace dataservice::cli {

// Prints the problem and the usage on standard error; the exit status of bad usage (2).
int usage(const std::string& problem);

// Runs the command `words[0]` with the rest as its arguments; its exit status, or nothing when
// there is no such command taking that many arguments.
std::optional<int> runCommand(Store& store, const std::vector<std::string>& words);

}  // namespace dataservice::cli
