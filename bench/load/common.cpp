#include "bench/load/common.h"

namespace load {

std::atomic<bool> gInterrupted{false};

}  // namespace load
