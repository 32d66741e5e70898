#pragma once
// The query plans of the statements the growth figures time, on the grown database, so that a
// figure that falls with the size can be traced to its plan.
#include <string>

namespace monday {

void printPlans(const std::string& target);

}  // namespace monday
