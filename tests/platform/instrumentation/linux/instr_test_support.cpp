#include "instr_test_support.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "platform/instrumentation/linux/system_instrumentation.h"

namespace instrtest {

namespace fs = std::filesystem;

std::string machine(const std::string& name) {
    return std::string(VANTREL_FIXTURES_DIR) + "/machines/" + name;
}

Rows run(const std::string& root, const std::string& query, const std::vector<std::string>& properties) {
    auto services = platform::makeInstrumentationAt(root)->Connect(kMoniker);
    auto result = services->ExecQuery(query);
    Rows rows;
    while (auto instance = result->Next()) {
        std::vector<platform::PropertyValue> row;
        for (const auto& p : properties) row.push_back(instance->Get(p));
        rows.push_back(std::move(row));
    }
    return rows;
}

void TempTree::write(const std::string& path, const std::string& bytes) const {
    fs::create_directories(fs::path(host(path)).parent_path());
    std::ofstream out(host(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + host(path));
}

void TempTree::link(const std::string& path, const std::string& target) const {
    fs::create_directories(fs::path(host(path)).parent_path());
    fs::create_symlink(target, host(path));
}

void TempTree::mkdir(const std::string& path) const { fs::create_directories(host(path)); }

}  // namespace instrtest
