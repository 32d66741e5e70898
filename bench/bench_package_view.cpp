// How long the uninstall list takes to build from a dpkg status file of 5,000 packages.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/registry/linux/package_view.h"
#include "platform/registry/linux/system_registry.h"
#include "tests/support/scratch_dir.h"

namespace {

constexpr int kPackages = 5000;

// A status file shaped like a real one: long stanzas, folded descriptions, a few removed
// packages and multi-arch pairs.
std::string statusFile() {
    std::string text;
    for (int i = 0; i < kPackages; ++i) {
        const std::string name = "package-" + std::to_string(i * 7919 % kPackages);
        text += "Package: " + name + "\n";
        text += i % 50 == 0 ? "Status: deinstall ok config-files\n" : "Status: install ok installed\n";
        text += "Priority: optional\nSection: libs\nInstalled-Size: 1234\n";
        text += "Maintainer: Someone <someone@example.org>\n";
        text += std::string("Architecture: ") + (i % 100 == 1 ? "i386" : "amd64") + "\n";
        text += "Multi-Arch: same\n";
        text += "Version: 1:" + std::to_string(i % 13) + "." + std::to_string(i % 7) + "-" + std::to_string(i) + "\n";
        text += "Depends: libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12)\n";
        text += "Description: a generated package for measuring\n";
        for (int k = 0; k < 6; ++k)
            text += " This line continues the description and is as long as real ones tend to be.\n";
        text += "\n";
    }
    return text;
}

struct Root {
    ScratchDir dir{"bench"};
    const std::filesystem::path& path = dir.path();
    Root() { dir.write("var/lib/dpkg/status", statusFile()); }
};

void BM_ParseStatus(benchmark::State& state) {
    const std::string text = statusFile();
    for (auto _ : state) benchmark::DoNotOptimize(platform::parseDpkgStatus(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseStatus)->Unit(benchmark::kMillisecond);

// From the file on disk to an open, enumerable list: what the first open of the list costs.
void BM_OpenUninstallList(benchmark::State& state) {
    Root root;
    std::uint32_t count = 0;
    for (auto _ : state) {
        platform::SystemRegistry registry((root.path / "none.reg").string(),
                                          platform::PackageSources{root.path.string(), ""});
        platform::HKey list = 0;
        registry.OpenKeyEx(platform::HKEY_LOCAL_MACHINE, platform::kUninstallPath, 0, platform::KEY_READ, list);
        registry.QueryInfoKey(list, &count, nullptr);
        registry.CloseKey(list);
    }
    state.counters["subkeys"] = count;
}
BENCHMARK(BM_OpenUninstallList)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
