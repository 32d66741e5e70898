// The providers over machines whose files hold junk or cannot be read: every query still
// answers, with what is readable, and no value holds a byte the wire cannot carry.
#include <filesystem>
#include <string>

#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include "instr_test_support.h"
#include "platform/common/text.h"

using instrtest::machine;
using instrtest::Rows;
using instrtest::run;
using instrtest::TempTree;
using std::nullopt;

namespace {

namespace fs = std::filesystem;

const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD

struct Query {
    const char* text;
    std::vector<std::string> properties;
};

const std::vector<Query>& allQueries() {
    static const std::vector<Query> all = {
        {"select Name from win32_SoundDevice", {"Name"}},
        {"select Name, DriverVersion from win32_VideoController", {"Name", "DriverVersion"}},
        {"select DriverName from win32_Printer", {"DriverName"}},
        {"select Manufacturer, Model from win32_ComputerSystem", {"Manufacturer", "Model"}},
        {"select SMBIOSBIOSVersion from win32_BIOS", {"SMBIOSBIOSVersion"}},
        {"select Name, CSDVersion from win32_OperatingSystem", {"Name", "CSDVersion"}},
        {"select Name from win32_NetworkAdapter", {"Name"}},
    };
    return all;
}

bool wireText(const std::string& s) {
    if (!text::IsValidUtf8(s)) return false;
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return false;
    return s.find("\xC2\x80") == std::string::npos && s.find("\xC2\x85") == std::string::npos;
}

// Every query over the tree; each value is either null or text the wire can carry.
void expectEverythingSendable(const std::string& root) {
    for (const auto& q : allQueries()) {
        for (const auto& row : run(root, q.text, q.properties)) {
            for (const auto& value : row) {
                if (value) {
                    EXPECT_TRUE(wireText(*value)) << q.text << ": \"" << *value << "\"";
                }
            }
        }
    }
}

// A copy of the fixture machine "junk", which tests may then spoil further.
class JunkMachine : public testing::Test {
protected:
    TempTree tree;
    void SetUp() override {
        fs::copy(machine("junk"), tree.root(), fs::copy_options::recursive | fs::copy_options::copy_symlinks |
                                                   fs::copy_options::overwrite_existing);
    }
    Rows query(const char* text, const std::vector<std::string>& properties) {
        return run(tree.root(), text, properties);
    }
    void netInterface(const std::string& name, const std::string& index) {
        const std::string dir = "/sys/devices/virtual/net/" + name;
        tree.write(dir + "/ifindex", index + "\n");
        tree.write(dir + "/type", "1\n");
        tree.link("/sys/class/net/" + name, "../../devices/virtual/net/" + name);
    }
};

}  // namespace

TEST_F(JunkMachine, FirmwareFieldsLoseTheirControlsAndBadBytesBecomeReplacements) {
    EXPECT_EQ(query("select Manufacturer, Model from win32_ComputerSystem", {"Manufacturer", "Model"}),
              (Rows{{"Fabrik" + kBad + "am", "[2JModel 7" + kBad + kBad}}));
    EXPECT_EQ(query("select SMBIOSBIOSVersion from win32_BIOS", {"SMBIOSBIOSVersion"}), (Rows{{kBad + "PNG"}}));
}

TEST_F(JunkMachine, OsReleaseKernelAndMountTableAreCleaned) {
    EXPECT_EQ(query("select Name, CSDVersion from win32_OperatingSystem", {"Name", "CSDVersion"}),
              (Rows{{"Junk[31mOS " + kBad + kBad + " 1.0 beta|" + tree.root() + "|/dev/sd" + kBad + "a1",
                     "12.4" + kBad + ", kernel 6.1.0-junk"}}));
}

TEST_F(JunkMachine, CardListAndPrintersKeepWhatIsReadable) {
    EXPECT_EQ(query("select Name from win32_SoundDevice", {"Name"}), (Rows{{kBad + "HDA Intel PCH"}, {kBad}}));
    EXPECT_EQ(query("select DriverName from win32_Printer", {"DriverName"}), (Rows{{"HP Office" + kBad + "Jet  Pro"}}));
}

TEST_F(JunkMachine, InterfaceNamesThatAreNotUtf8OrHoldControlsAreCleaned) {
    netInterface("eth\xFF" "0", "2");
    netInterface("wl\x01\x1b" "an", "3");
    EXPECT_EQ(query("select Name from win32_NetworkAdapter", {"Name"}), (Rows{{"eth" + kBad + "0"}, {"wlan"}}));
}

TEST_F(JunkMachine, FilesThatCannotBeReadAreUnknownAndFifosDoNotHang) {
    // What fails for root too: a fifo, a folder and a dangling link where files should be.
    fs::remove(tree.host("/etc/os-release"));
    ASSERT_EQ(::mkfifo(tree.host("/etc/os-release").c_str(), 0644), 0);
    fs::remove(tree.host("/proc/asound/cards"));
    ASSERT_EQ(::mkfifo(tree.host("/proc/asound/cards").c_str(), 0644), 0);
    fs::remove(tree.host("/proc/sys/kernel/osrelease"));
    tree.mkdir("/proc/sys/kernel/osrelease");
    fs::remove(tree.host("/sys/class/dmi/id/sys_vendor"));
    tree.link("/sys/class/dmi/id/sys_vendor", "/nowhere/sys_vendor");
    fs::remove(tree.host("/etc/cups/printers.conf"));
    tree.link("/etc/cups/printers.conf", "printers.conf");  // a link to itself
    // And a file nobody may read, which root still can: either answer is fine, but clean.
    ::chmod(tree.host("/sys/class/dmi/id/product_name").c_str(), 0);

    EXPECT_EQ(query("select Name, CSDVersion from win32_OperatingSystem", {"Name", "CSDVersion"}),
              (Rows{{"Linux|" + tree.root() + "|/dev/sd" + kBad + "a1", "12.4" + kBad}}));
    EXPECT_EQ(query("select Name from win32_SoundDevice", {"Name"}), Rows{});
    EXPECT_EQ(query("select DriverName from win32_Printer", {"DriverName"}), Rows{});
    const Rows computer = query("select Manufacturer, Model from win32_ComputerSystem", {"Manufacturer", "Model"});
    ASSERT_EQ(computer.size(), 1u);
    EXPECT_EQ(computer[0][0], nullopt);
    if (::geteuid() != 0) {
        EXPECT_EQ(computer[0][1], nullopt);
    }
    expectEverythingSendable(tree.root());
}

TEST_F(JunkMachine, EveryQueryAnswersWithSendableTextOnly) { expectEverythingSendable(tree.root()); }
