#pragma once
// The benchmark's figures, one line a workload.
#include <string>

#include "bench/load/generator.h"

namespace load {

// Requests still out when a workload's time is up are neither counted nor failed; a connection
// that never got an answer in the whole time is named, since the rate hides it.
void printLoad(const std::string& what, LoadResult& r);

}  // namespace load
