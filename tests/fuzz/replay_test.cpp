// Replays every fuzz target's seed corpus and kept crashing inputs in the normal test build,
// so a fault once found stays mended (the sanitizer build sees what the fuzzer saw).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/fuzz/fuzz_target.h"

namespace {

namespace fs = std::filesystem;

TEST(FuzzReplay, EveryTargetRunsItsCorpusAndRegressions) {
    ASSERT_FALSE(vantrel::fuzz::targets().empty());
    const fs::path root = fs::path(VANTREL_SOURCE_DIR) / "tests" / "fuzz";
    for (const auto& [name, target] : vantrel::fuzz::targets()) {
        std::size_t inputs = 0;
        for (const char* folder : {"corpus", "regressions"}) {
            const fs::path dir = root / folder / name;
            if (!fs::is_directory(dir)) continue;
            for (const auto& entry : fs::directory_iterator(dir)) {
                if (!entry.is_regular_file()) continue;
                std::ifstream in(entry.path(), std::ios::binary);
                const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                SCOPED_TRACE(entry.path().string());
                target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
                ++inputs;
            }
        }
        EXPECT_GT(inputs, 0u) << name << " has no seed corpus";
    }
}

}  // namespace
