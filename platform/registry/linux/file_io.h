#pragma once
// Small file helpers of the registry backend.
#include <string>

namespace platform {

// The whole file into `out`. False with errno set when it cannot be opened or read, or is not a
// regular file (EISDIR for a folder, EINVAL for a fifo, socket or device).
bool readWholeFile(const std::string& path, std::string& out);

}  // namespace platform
