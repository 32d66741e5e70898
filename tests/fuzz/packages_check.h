#pragma once
// Checks shared by the package-database targets: what a reader lists must survive the uninstall
// view, one subkey per package, with names and versions the wire can carry.
#include <vector>

#include "fuzz_check.h"
#include "platform/registry/key.h"
#include "platform/registry/linux/package_view.h"

namespace fuzzcheck {

inline void packages(const std::vector<platform::InstalledPackage>& list, bool asDpkg) {
    for (const auto& p : list) {
        check(!p.name.empty(), "a package without a name");
        wireText(p.name, "package name");
        wireText(p.version, "package version");
        wireText(p.architecture, "package architecture");
    }
    platform::RegistryKey key;
    const std::vector<platform::InstalledPackage> none;
    platform::fillUninstallKey(key, asDpkg ? list : none, asDpkg ? none : list);
    check(key.subkeys().size() == list.size(), "a package was lost in the uninstall view");
    for (const auto& sub : key.subkeys()) {
        check(sub->name().find('\\') == std::string::npos, "a subkey name that cannot be opened", sub->name());
        check(key.findSubkey(sub->name()) == sub.get(), "a subkey not found by its name", sub->name());
    }
}

}  // namespace fuzzcheck
