// The uninstall list over the package databases, and the system registry that mounts it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <iostream>

#include "platform/common/text.h"
#include "platform/registry/linux/package_view.h"
#include "platform/registry/linux/system_registry.h"
#include "tests/support/scratch_dir.h"

using namespace platform;

namespace {

const std::string kFixtures = VANTREL_FIXTURES_DIR;
const std::string kDpkgRoot = kFixtures + "/dpkg";

struct Entry {
    std::string subkey, name, version;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Entry& e) {
    return os << "{" << e.subkey << ", " << e.name << ", " << e.version << "}";
}

std::string readText(Registry& registry, HKey key, const std::string& value) {
    char buf[260];
    std::uint32_t size = sizeof buf, type = 0;
    if (registry.QueryValueEx(key, value, &type, reinterpret_cast<std::uint8_t*>(buf), &size) != ERROR_SUCCESS)
        return "<unreadable>";
    EXPECT_EQ(type, REG_SZ);
    EXPECT_GT(size, 0u);
    EXPECT_EQ(buf[size - 1], '\0');
    return std::string(buf, size - 1);
}

// The list as the installed-software step reads it: count, longest name, then each index.
std::vector<Entry> uninstallList(Registry& registry) {
    std::vector<Entry> entries;
    HKey list = 0;
    if (registry.OpenKeyEx(HKEY_LOCAL_MACHINE, kUninstallPath, 0, KEY_READ, list) != ERROR_SUCCESS) return entries;
    std::uint32_t count = 0, longest = 0;
    EXPECT_EQ(registry.QueryInfoKey(list, &count, &longest), ERROR_SUCCESS);
    std::uint32_t seenLongest = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string name(longest + 1, ' ');
        std::uint32_t size = longest + 1;
        EXPECT_EQ(registry.EnumKeyEx(list, i, name.data(), &size), ERROR_SUCCESS);
        name.resize(size);
        seenLongest = std::max(seenLongest, size);
        HKey entry = 0;
        EXPECT_EQ(registry.OpenKeyEx(HKEY_LOCAL_MACHINE, std::string(kUninstallPath) + "\\" + name, 0, KEY_READ, entry),
                  ERROR_SUCCESS);
        entries.push_back({name, readText(registry, entry, "DisplayName"), readText(registry, entry, "DisplayVersion")});
        registry.CloseKey(entry);
    }
    EXPECT_EQ(seenLongest, longest);
    char name[8];
    std::uint32_t size = sizeof name;
    EXPECT_EQ(registry.EnumKeyEx(list, count, name, &size), ERROR_NO_MORE_ITEMS);
    registry.CloseKey(list);
    return entries;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// An executable that stands in for rpm: records its arguments, prints `output`, exits `code`.
std::string fakeRpm(const ScratchDir& dir, const std::string& output, int code = 0) {
    const auto script = dir.write("bin/rpm",
                                  "#!/bin/sh\n"
                                  "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$(dirname \"$0\")/args\"\n"
                                  "printf '" + output + "'\n"
                                  "exit " + std::to_string(code) + "\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    return script.string();
}

class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvironmentVariable() {
        if (old_) ::setenv(name_, old_->c_str(), 1); else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(DpkgStatus, OnlyInstalledStanzasCountAndContinuationLinesStayInTheirField) {
    const auto packages = parseDpkgStatus(fileText(kDpkgRoot + "/var/lib/dpkg/status"));
    std::vector<std::string> seen;
    for (const auto& p : packages) seen.push_back(p.name + " " + p.version + " " + p.architecture);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "bash 5.2.15-2+b2 amd64", "zlib-pinned 1:1.2.13.dfsg-1 amd64", "libfoo1 1.4-2 amd64",
                        "Mixed-Case 0.9 all", "libfoo1 1.4-2 i386", "apt 2.6.1 amd64"}));
}

TEST(DpkgStatus, FieldNamesIgnoreCaseAndTheLastStanzaNeedsNoBlankLine) {
    const auto packages = parseDpkgStatus(
        "package: a\r\nstatus: install ok installed\r\nVERSION: 1\r\n\r\n"
        "Package: b\nStatus: install ok unpacked\nVersion: 2\n\n\n"
        "Package: c\nStatus: purge ok not-installed\n\n"
        "Package: d\nVersion: 4\n\n"  // no Status at all
        "Package: e\nStatus: hold ok installed");
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_EQ(packages[0].name, "a");
    EXPECT_EQ(packages[0].version, "1");
    EXPECT_EQ(packages[1].name, "e");
    EXPECT_EQ(packages[1].version, "");
}

TEST(UninstallView, OneSubkeyPerInstalledPackageInCaseInsensitiveOrder) {
    std::ostringstream diagnostics;
    SystemRegistry registry(kFixtures + "/registry/hive_utf8.reg", PackageSources{kDpkgRoot, ""}, diagnostics);
    EXPECT_EQ(diagnostics.str(), "");
    // FromHive, which the hive file puts at that key, is not part of the view.
    EXPECT_EQ(uninstallList(registry), (std::vector<Entry>{
                                           {"apt", "apt", "2.6.1"},
                                           {"bash", "bash", "5.2.15-2+b2"},
                                           {"libfoo1:amd64", "libfoo1", "1.4-2"},
                                           {"libfoo1:i386", "libfoo1:i386", "1.4-2"},
                                           {"Mixed-Case", "Mixed-Case", "0.9"},
                                           {"zlib-pinned", "zlib-pinned", "1:1.2.13.dfsg-1"},
                                       }));
    // The hive's own keys are still there beside the view.
    HKey settings = 0;
    EXPECT_EQ(registry.OpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Vantrel", 0, KEY_QUERY_VALUE, settings), ERROR_SUCCESS);
    EXPECT_EQ(readText(registry, settings, "ServerPath"), "http://127.0.0.1/vantrel/");
    HKey entry = 0;
    EXPECT_EQ(registry.OpenKeyEx(HKEY_LOCAL_MACHINE, std::string(kUninstallPath) + "\\LIBFOO1:I386", 0, KEY_READ, entry),
              ERROR_SUCCESS);
}

TEST(UninstallView, IsReadOnceOnTheFirstOpenOfTheListNotAtStart) {
    ScratchDir root;
    std::ostringstream quiet;
    SystemRegistry registry((root.path() / "none.reg").string(), PackageSources{root.path().string(), ""}, quiet);
    HKey settings = 0;
    EXPECT_EQ(registry.OpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel", 0, KEY_QUERY_VALUE, settings),
              ERROR_FILE_NOT_FOUND);

    // Written after the settings were read: seen, so the database was not read before.
    root.write("var/lib/dpkg/status", "Package: late\nStatus: install ok installed\nVersion: 1\n");
    EXPECT_EQ(uninstallList(registry), (std::vector<Entry>{{"late", "late", "1"}}));

    root.write("var/lib/dpkg/status", "Package: later\nStatus: install ok installed\nVersion: 2\n");
    EXPECT_EQ(uninstallList(registry), (std::vector<Entry>{{"late", "late", "1"}}));
}

TEST(UninstallView, NoDatabaseGivesAnEmptyList) {
    ScratchDir root;
    SystemRegistry registry((root.path() / "none.reg").string(), PackageSources{root.path().string(), ""});
    HKey list = 0;
    ASSERT_EQ(registry.OpenKeyEx(HKEY_LOCAL_MACHINE, kUninstallPath, 0, KEY_READ, list), ERROR_SUCCESS);
    std::uint32_t count = 9, longest = 9;
    EXPECT_EQ(registry.QueryInfoKey(list, &count, &longest), ERROR_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(longest, 0u);
}

TEST(UninstallView, AForeignArchitectureNamesItsProgramAsDpkgQueryDoes) {
    const std::vector<InstalledPackage> multiarch{{"zlib1g", "1:1.2.13.dfsg-1", "amd64"},
                                                  {"zlib1g", "1:1.2.13.dfsg-1", "i386"},
                                                  {"wine32", "8.0", "i386"},
                                                  {"tzdata", "2024a", "all"},
                                                  {"bash", "5.2", "amd64"}};
    const std::vector<std::string> named{"zlib1g", "zlib1g:i386", "wine32:i386", "tzdata", "bash"};
    EXPECT_EQ(dpkgBinaryNames(multiarch, "amd64"), named);
    // Without dpkg's arch file, the first package that is not "all" tells the native one.
    EXPECT_EQ(dpkgBinaryNames({{"tzdata", "2024a", "all"}, {"bash", "5.2", "amd64"}, {"zlib1g", "1", "i386"}}, ""),
              (std::vector<std::string>{"tzdata", "bash", "zlib1g:i386"}));
    // The native architecture is dpkg's, even where a foreign one comes first in the file.
    EXPECT_EQ(dpkgBinaryNames({{"libc6", "2.36", "i386"}, {"libc6", "2.36", "arm64"}}, "arm64"),
              (std::vector<std::string>{"libc6:i386", "libc6"}));
    // A machine of one architecture keeps the bare names.
    EXPECT_EQ(dpkgBinaryNames({{"bash", "5.2", "amd64"}, {"tzdata", "2024a", "all"}, {"old", "1", ""}}, "amd64"),
              (std::vector<std::string>{"bash", "tzdata", "old"}));
}

TEST(UninstallView, TheNativeArchitectureIsTheFirstOfDpkgsArchFile) {
    ScratchDir root;
    EXPECT_EQ(readDpkgNativeArchitecture(root.path().string()), "");
    root.write("var/lib/dpkg/arch", "arm64\ni386\n");
    EXPECT_EQ(readDpkgNativeArchitecture(root.path().string()), "arm64");
    root.write("var/lib/dpkg/status",
               "Package: zlib1g\nStatus: install ok installed\nVersion: 1\nArchitecture: i386\n\n"
               "Package: zlib1g\nStatus: install ok installed\nVersion: 1\nArchitecture: arm64\n");
    SystemRegistry registry((root.path() / "none.reg").string(), PackageSources{root.path().string(), ""});
    EXPECT_EQ(uninstallList(registry), (std::vector<Entry>{{"zlib1g:arm64", "zlib1g", "1"},
                                                           {"zlib1g:i386", "zlib1g:i386", "1"}}));
}

TEST(UninstallView, NamesThatWouldClashGetSuffixesSoNoPackageIsLost) {
    RegistryKey key;
    fillUninstallKey(key,
                     {{"Tool", "1", "amd64"}, {"tool", "2", "amd64"}, {"lib", "1", "amd64"}, {"lib", "1", "amd64"}},
                     {{"kernel", "5.14-1", ""}, {"kernel", "5.15-2", ""}, {"TOOL", "3", ""}});
    std::vector<std::string> names;
    for (const auto& k : key.subkeys()) names.push_back(k->name() + "=" +
                                                        std::string(k->findValue("DisplayVersion")->data.begin(),
                                                                    k->findValue("DisplayVersion")->data.end() - 1));
    EXPECT_EQ(names, (std::vector<std::string>{"kernel-5.14-1=5.14-1", "kernel-5.15-2=5.15-2", "lib=1", "lib (2)=1",
                                               "Tool=1", "tool (2)=2", "TOOL (3)=3"}));
}

TEST(UninstallView, RpmPackagesAreAddedWhenItsDatabaseAndProgramExist) {
    ScratchDir dir;
    // A root that a shell would mangle: the program must get it as one untouched argument.
    const auto root = dir.path() / "sys root $(touch pwned)";
    std::filesystem::create_directories(root / "usr/lib/sysimage/rpm");
    std::filesystem::create_directories(root / "var/lib/dpkg");
    std::ofstream(root / "var/lib/dpkg/status") << "Package: bash\nStatus: install ok installed\nVersion: 5.2\n";
    const std::string rpm = fakeRpm(dir, "bash\\t5.1-4.el9\\nkernel\\t5.14.0-1\\nkernel\\t5.14.0-2\\nbad line\\n");

    SystemRegistry registry((dir.path() / "none.reg").string(), PackageSources{root.string(), rpm});
    EXPECT_EQ(uninstallList(registry), (std::vector<Entry>{
                                           {"bash", "bash", "5.2"},
                                           {"bash (2)", "bash", "5.1-4.el9"},
                                           {"kernel-5.14.0-1", "kernel", "5.14.0-1"},
                                           {"kernel-5.14.0-2", "kernel", "5.14.0-2"},
                                       }));
    EXPECT_EQ(fileText((dir.path() / "bin/args").string()),
              "--root\n" + root.string() + "\n-qa\n--qf\n%{NAME}\t%{VERSION}-%{RELEASE}\n\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "pwned"));
    EXPECT_FALSE(std::filesystem::exists("pwned"));
}

TEST(UninstallView, RpmIsSkippedQuietlyWithoutItsDatabaseItsProgramOrSuccess) {
    ScratchDir dir;
    const std::string rpm = fakeRpm(dir, "kernel\\t1-1\\n");
    {
        SystemRegistry registry((dir.path() / "none.reg").string(), PackageSources{dir.path().string(), rpm});
        EXPECT_TRUE(uninstallList(registry).empty());
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "bin/args"));  // not even started
    }
    std::filesystem::create_directories(dir.path() / "var/lib/rpm");
    {
        SystemRegistry registry((dir.path() / "none.reg").string(),
                                PackageSources{dir.path().string(), (dir.path() / "bin/none").string()});
        EXPECT_TRUE(uninstallList(registry).empty());
    }
    {
        SystemRegistry registry((dir.path() / "none.reg").string(), PackageSources{dir.path().string(), rpm});
        EXPECT_EQ(uninstallList(registry), (std::vector<Entry>{{"kernel", "kernel", "1-1"}}));
    }
    const std::string failing = fakeRpm(dir, "kernel\\t1-1\\n", 1);
    {
        SystemRegistry registry((dir.path() / "none.reg").string(), PackageSources{dir.path().string(), failing});
        EXPECT_TRUE(uninstallList(registry).empty());
    }
}

TEST(SystemRegistryFromEnvironment, ReadsTheNamedHiveAndRoot) {
    EnvironmentVariable hive("VANTREL_REGISTRY", kFixtures + "/registry/hive_regedit4_latin1.reg");
    EnvironmentVariable root("VANTREL_SYSROOT", kDpkgRoot);
    const auto registry = makeSystemRegistry();
    HKey settings = 0;
    ASSERT_EQ(registry->OpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Vantrel", 0, KEY_QUERY_VALUE, settings), ERROR_SUCCESS);
    EXPECT_EQ(readText(*registry, settings, "Owner"), "Café Müller – “quoted”");
    EXPECT_EQ(uninstallList(*registry).size(), 6u);
}

TEST(SystemRegistryFromEnvironment, ABrokenHiveLineIsReportedOnStandardErrorAndTheRestIsRead) {
    const std::string path = kFixtures + "/registry/malformed.reg";
    EnvironmentVariable hive("VANTREL_REGISTRY", path);
    EnvironmentVariable root("VANTREL_SYSROOT", kDpkgRoot);
    testing::internal::CaptureStderr();
    const auto registry = makeSystemRegistry();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path + ":5:"), std::string::npos) << err;

    HKey settings = 0;
    ASSERT_EQ(registry->OpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Vantrel", 0, KEY_QUERY_VALUE, settings),
              ERROR_SUCCESS);
    EXPECT_EQ(readText(*registry, settings, "ServerPath"), "http://127.0.0.1/vantrel/");
    EXPECT_EQ(uninstallList(*registry).size(), 6u);  // the package list does not depend on the hive
}

namespace {

bool sendable(const std::string& s) {
    if (!text::IsValidUtf8(s)) return false;
    return std::none_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// A status file of `count` stanzas where most kinds of damage occur, one kind per stanza.
std::string damagedStatus(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 10) {
        case 0:  // no Package field
            out += "Status: install ok installed\nVersion: 1." + n + "\n";
            break;
        case 1:  // controls and bytes that are not UTF-8 in the name
            out += "Package: pkg\x01\xff-" + n + "\nStatus: install ok installed\nVersion: 1." + n + "\n";
            break;
        case 2:  // lines without a colon, and binary junk
            out += "Package: junk-" + n + "\ngarbage line\n" + std::string("\x00\x02\xc3(\x1b", 5) +
                   "\nStatus: install ok installed\nVersion: 2." + n + "\n";
            break;
        case 3:  // only its configuration files are left
            out += "Package: gone-" + n + "\nStatus: deinstall ok config-files\nVersion: 1\n";
            break;
        case 4:  // a tab and a NUL in the version, a carriage return at the line ends
            out += "Package: tabbed-" + n + "\r\nStatus: install ok installed\r\nVersion: 1.0\t" +
                   std::string(1, '\0') + "beta\r\n";
            break;
        case 5:  // a backslash, which separates key names
            out += "Package: back\\slash-" + n + "\nStatus: install ok installed\nVersion: 5\n";
            break;
        default:
            out += "Package: pkg" + n + "\nStatus: install ok installed\nVersion: 1." + n + "\n";
        }
        out += i % 97 == 0 ? " \t\n" : "\n";  // a blank line of blanks ends a stanza too
    }
    return out + "Package: truncated-at-the-end\nStatus: install ok inst";
}

}  // namespace

TEST(UninstallView, TwentyThousandPackagesWithDamagedStanzasListWhatIsReadableAndSendable) {
    ScratchDir dir;
    dir.write("var/lib/dpkg/status", damagedStatus(20000));
    SystemRegistry registry((dir.path() / "none.reg").string(), PackageSources{dir.path().string(), ""}, std::cerr);
    const auto list = uninstallList(registry);
    ASSERT_EQ(list.size(), 16000u);  // all but the stanzas without a name or not installed
    for (const auto& e : list) {
        ASSERT_FALSE(e.subkey.empty());
        ASSERT_TRUE(sendable(e.subkey) && sendable(e.name) && sendable(e.version)) << e;
        ASSERT_EQ(e.subkey.find('\\'), std::string::npos) << e;
    }
    auto has = [&](const Entry& wanted) { return std::find(list.begin(), list.end(), wanted) != list.end(); };
    EXPECT_TRUE(has({"pkg\xEF\xBF\xBD-11", "pkg\xEF\xBF\xBD-11", "1.11"}));
    EXPECT_TRUE(has({"junk-12", "junk-12", "2.12"}));
    EXPECT_TRUE(has({"tabbed-14", "tabbed-14", "1.0 beta"}));
    EXPECT_TRUE(has({"back/slash-15", "back\\slash-15", "5"}));
    EXPECT_TRUE(has({"pkg19996", "pkg19996", "1.19996"}));
}

TEST(UninstallView, AFifoInPlaceOfTheStatusFileIsNoDatabaseAndDoesNotHang) {
    ScratchDir dir;
    std::filesystem::create_directories(dir.path() / "var/lib/dpkg");
    ASSERT_EQ(::mkfifo((dir.path() / "var/lib/dpkg/status").c_str(), 0644), 0);
    EXPECT_TRUE(readDpkgPackages(dir.path().string()).empty());
    std::filesystem::remove(dir.path() / "var/lib/dpkg/status");
    std::filesystem::create_directories(dir.path() / "var/lib/dpkg/status");  // a folder
    EXPECT_TRUE(readDpkgPackages(dir.path().string()).empty());
}

// The view over this machine lists what dpkg itself calls installed, name and version.
TEST(UninstallViewOnThisMachine, MatchesDpkgQuery) {
    if (!std::filesystem::exists("/var/lib/dpkg/status")) GTEST_SKIP() << "no dpkg database here";
    FILE* pipe = ::popen("dpkg-query -W -f='${db:Status-Abbrev} ${Package} ${Version}\\n' 2>/dev/null", "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
    ASSERT_EQ(::pclose(pipe), 0);

    std::vector<std::pair<std::string, std::string>> expected;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        // The second letter is the package's state: "ii " and "hi " in the common cases, but a
        // package marked for removal ("ri ") or needing a reinstall ("iiR") is installed as well.
        if (line.size() < 4 || line[1] != 'i') continue;
        std::istringstream fields(line.substr(line.find(' ') + 1));
        std::string name, version;
        fields >> name >> version;
        expected.emplace_back(name, version);
    }
    ASSERT_FALSE(expected.empty());

    ScratchDir dir;
    SystemRegistry registry((dir.path() / "none.reg").string(), PackageSources{"/", ""});
    std::vector<std::pair<std::string, std::string>> listed;
    for (const auto& e : uninstallList(registry)) listed.emplace_back(e.name, e.version);
    std::sort(expected.begin(), expected.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected);
}
