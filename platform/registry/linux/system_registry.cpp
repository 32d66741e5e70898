#include "platform/registry/linux/system_registry.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "platform/registry/linux/file_io.h"
#include "platform/registry/reg_file.h"

namespace platform {

std::unique_ptr<RegistryKey> loadRegFile(const std::string& path, std::ostream& diagnostics) {
    std::string bytes;
    if (!readWholeFile(path, bytes)) {
        const int err = errno;
        if (err != ENOENT && err != ENOTDIR)
            diagnostics << path << ": cannot read the registry file: " << std::strerror(err)
                        << " (the registry is empty)\n";
        return std::make_unique<RegistryKey>();
    }
    try {
        // One broken line must not cost the machine its whole configuration.
        std::vector<RegFileError> skipped;
        auto machine = parseRegFile(bytes, skipped);
        for (const auto& e : skipped)
            diagnostics << path << ":" << e.line() << ": " << e.what() << " (the line is skipped)\n";
        return machine;
    } catch (const RegFileError& e) {
        diagnostics << path << ":" << e.line() << ": " << e.what() << " (the registry file is ignored)\n";
        return std::make_unique<RegistryKey>();
    }
}

SystemRegistry::SystemRegistry(const std::string& hivePath, const std::string& systemRoot,
                               std::ostream& diagnostics)
    : SystemRegistry(hivePath, PackageSources{systemRoot, "rpm"}, diagnostics) {}

SystemRegistry::SystemRegistry(const std::string& hivePath, PackageSources sources,
                               std::ostream& diagnostics)
    : RegistryHive(loadRegFile(hivePath, diagnostics)) {
    mount(kUninstallPath, packageView(std::move(sources)));
}

std::unique_ptr<Registry> makeSystemRegistry() {
    auto fromEnvironment = [](const char* name, const char* fallback) {
        const char* value = std::getenv(name);
        return std::string(value && *value ? value : fallback);
    };
    return std::make_unique<SystemRegistry>(fromEnvironment("VANTREL_REGISTRY", kDefaultHivePath),
                                            fromEnvironment("VANTREL_SYSROOT", "/"));
}

}  // namespace platform
