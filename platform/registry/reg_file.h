#pragma once
// Reader of registry-export files (the ".reg" text that registry editors write): the keys of
// HKEY_LOCAL_MACHINE with their values, as an in-memory tree.
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/key.h"

namespace platform {

class RegFileError : public std::runtime_error {
public:
    RegFileError(int line, const std::string& what) : std::runtime_error(what), line_(line) {}
    int line() const { return line_; }

private:
    int line_;
};

// The HKEY_LOCAL_MACHINE part of a file's raw bytes (UTF-16LE with BOM, UTF-8 or 8-bit text).
// Keys of the other roots are read and dropped. Throws RegFileError naming the line.
std::unique_ptr<RegistryKey> parseRegFile(std::string_view bytes);

// The same, but a broken line is skipped and added to `skipped`, and the rest is kept; values
// after a broken key line are dropped. A file without the header still throws: it is no export.
std::unique_ptr<RegistryKey> parseRegFile(std::string_view bytes, std::vector<RegFileError>& skipped);

}  // namespace platform
