// The classes the instrumentation answers for, and their properties.
#include "platform/instrumentation/linux/providers.h"
#include "platform/instrumentation/query.h"

namespace platform::instr {

namespace {

const std::vector<ClassProvider>& providers() {
    static const std::vector<ClassProvider> list = {
        {"win32_SoundDevice", {"Name"}, collectSoundDevices},
        {"win32_VideoController", {"Name", "DriverVersion"}, collectVideoControllers},
        {"win32_Printer", {"DriverName"}, collectPrinters},
        {"win32_ComputerSystem", {"Manufacturer", "Model"}, collectComputerSystem},
        {"win32_BIOS", {"SMBIOSBIOSVersion"}, collectBios},
        {"win32_OperatingSystem", {"Name", "CSDVersion"}, collectOperatingSystem},
        {"win32_NetworkAdapter", {"Name"}, collectNetworkAdapters},
    };
    return list;
}

}  // namespace

const ClassProvider* findProvider(std::string_view className) {
    for (const auto& p : providers()) {
        if (sameName(p.className, className)) return &p;
    }
    return nullptr;
}

}  // namespace platform::instr
