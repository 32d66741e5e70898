#include "platform/linux/system_registry.h"

#include <cstdlib>

#include "platform/linux/reg_file.h"

namespace platform {

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
