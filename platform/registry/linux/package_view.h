#pragma once
// The uninstall list of a Linux machine: one registry key per installed package, read from
// dpkg's status file and, where there is one, rpm's database.
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/hive.h"
#include "platform/registry/key.h"

namespace platform {

struct InstalledPackage {
    std::string name;
    std::string version;
    std::string architecture;  // empty where the database does not say
};

// The installed packages of a dpkg status file, in file order: stanzas whose Status ends in
// "installed" (held ones too; config-files-only and half-installed ones are not installed).
std::vector<InstalledPackage> parseDpkgStatus(std::string_view text);

// rpm's answer to the query below: "name<TAB>version-release" per line.
std::vector<InstalledPackage> parseRpmQuery(std::string_view text);

struct PackageSources {
    std::string root = "/";
    // The rpm program: a name looked up in PATH, or a path. Empty: rpm is never asked.
    std::string rpmProgram = "rpm";
};

// <root>/var/lib/dpkg/status; nothing when it is missing or unreadable.
std::vector<InstalledPackage> readDpkgPackages(const std::string& root);

// dpkg's native architecture below the root: the first line of <root>/var/lib/dpkg/arch (dpkg
// writes the native one first); empty when there is no such file.
std::string readDpkgNativeArchitecture(const std::string& root);

// The name dpkg-query's ${binary:Package} shows where it tells packages apart: "name:arch" for a
// package installed for a foreign architecture (neither the native one nor "all"), the bare name
// otherwise. Without a known native architecture, the first package's that is not "all" stands in.
std::vector<std::string> dpkgBinaryNames(const std::vector<InstalledPackage>& dpkg, std::string native);

// `rpm --root <root> -qa` when an rpm database lies below the root and the program exists;
// nothing otherwise or when rpm fails.
std::vector<InstalledPackage> readRpmPackages(const PackageSources& sources);

// One subkey per package with DisplayName and DisplayVersion; a dpkg package's DisplayName is its
// binary name (above), so that two architectures of one package read as two programs. Subkeys are
// named after the package; a dpkg package installed for several architectures gets "name:arch" for each, an rpm
// package installed in several versions "name-version", and any name still taken (registry names
// ignore case) a " (2)", " (3)"... suffix, so no package is lost.
void fillUninstallKey(RegistryKey& key, const std::vector<InstalledPackage>& dpkg,
                      const std::vector<InstalledPackage>& rpm, const std::string& dpkgNative = {});

// Builds the list from the databases when the hive first needs it.
RegistryHive::ViewBuilder packageView(PackageSources sources);

}  // namespace platform
