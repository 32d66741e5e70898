// Each fuzz target over its seeds and over every input it once failed on: a fixed reader that
// breaks again fails here, in the ordinary test run.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#define VANTREL_FUZZ_TARGET(name) extern "C" int vantrel_fuzz_##name(const std::uint8_t*, std::size_t);
#include "fuzz_targets.inc"
#undef VANTREL_FUZZ_TARGET

namespace {

namespace fs = std::filesystem;

struct Target {
    std::string name;
    int (*run)(const std::uint8_t*, std::size_t);
};

const std::vector<Target>& targets() {
    static const std::vector<Target> all = {
#define VANTREL_FUZZ_TARGET(name) {#name, &vantrel_fuzz_##name},
#include "fuzz_targets.inc"
#undef VANTREL_FUZZ_TARGET
    };
    return all;
}

std::vector<fs::path> inputs(const std::string& folder, const std::string& name) {
    std::vector<fs::path> files;
    const fs::path dir = fs::path(VANTREL_FUZZ_DIR) / folder / name;
    if (fs::is_directory(dir))
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file()) files.push_back(entry.path());
    return files;
}

std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class FuzzReplay : public testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, EverySeedAndKeptInputPassesTheTargetsChecks) {
    const Target& target = GetParam();
    const auto seeds = inputs("corpus", target.name);
    EXPECT_FALSE(seeds.empty()) << "no seeds in tests/fuzz/corpus/" << target.name;
    auto all = seeds;
    for (const auto& kept : inputs("regressions", target.name)) all.push_back(kept);
    for (const auto& file : all) {
        const std::string bytes = bytesOf(file);
        try {
            EXPECT_EQ(target.run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0) << file;
        } catch (const std::logic_error& e) {
            ADD_FAILURE() << file << ": " << e.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, testing::ValuesIn(targets()),
                         [](const testing::TestParamInfo<Target>& info) { return info.param.name; });

}  // namespace
