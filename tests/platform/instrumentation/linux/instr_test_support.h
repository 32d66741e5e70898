#pragma once
// Running queries over machine trees, and small trees made on the spot.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/instrumentation/instrumentation.h"
#include "tests/support/scratch_dir.h"

namespace instrtest {

inline const char* kMoniker = R"(winmgmts:\\.\root\cimv2)";

// The fixture machine tree of that name.
std::string machine(const std::string& name);

// Every instance of `query` over the tree at `root`, each as the values of `properties`.
using Rows = std::vector<std::vector<platform::PropertyValue>>;
Rows run(const std::string& root, const std::string& query, const std::vector<std::string>& properties);

// A machine tree in a fresh temporary folder, removed again at the end of the test.
class TempTree {
public:
    const std::string& root() const { return root_; }
    // Writes `bytes` to the file at `path` ("/sys/class/dmi/id/sys_vendor"), making folders.
    void write(const std::string& path, const std::string& bytes) const;
    // A symbolic link at `path` with the target text as given.
    void link(const std::string& path, const std::string& target) const;
    void mkdir(const std::string& path) const;
    std::string host(const std::string& path) const { return root_ + path; }

private:
    ScratchDir dir_{"machine"};
    std::string root_ = dir_.path().string();
};

}  // namespace instrtest
