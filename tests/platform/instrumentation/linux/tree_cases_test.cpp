// Providers over small trees made for one case each: the odd files real machines have.
#include <gmock/gmock.h>

#include "instr_test_support.h"

using instrtest::Rows;
using instrtest::run;
using instrtest::TempTree;
using std::nullopt;

namespace {

const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD

void pciFunction(const TempTree& tree, const std::string& address, const std::string& vendor,
                 const std::string& device, const std::string& cls) {
    const std::string dir = "/sys/devices/pci0000:00/" + address;
    tree.write(dir + "/vendor", vendor + "\n");
    tree.write(dir + "/device", device + "\n");
    tree.write(dir + "/class", cls + "\n");
    tree.link("/sys/bus/pci/devices/" + address, "../../../devices/pci0000:00/" + address);
}

void bind(const TempTree& tree, const std::string& address, const std::string& driver) {
    tree.link("/sys/devices/pci0000:00/" + address + "/driver", "../../../bus/pci/drivers/" + driver);
    tree.mkdir("/sys/bus/pci/drivers/" + driver);
}

Rows video(const TempTree& tree) {
    return run(tree.root(), "select Name, DriverVersion from win32_VideoController", {"Name", "DriverVersion"});
}
Rows computer(const TempTree& tree) {
    return run(tree.root(), "select Manufacturer, Model from win32_ComputerSystem", {"Manufacturer", "Model"});
}
Rows sound(const TempTree& tree) { return run(tree.root(), "select Name from win32_SoundDevice", {"Name"}); }
Rows os(const TempTree& tree) {
    return run(tree.root(), "select Name, CSDVersion from win32_OperatingSystem", {"Name", "CSDVersion"});
}
Rows network(const TempTree& tree) { return run(tree.root(), "select Name from win32_NetworkAdapter", {"Name"}); }

}  // namespace

class Firmware : public testing::Test {
protected:
    TempTree tree;
};

TEST_F(Firmware, ABadByteIsReplacedAndTrailingControlsDropped) {
    tree.write("/sys/class/dmi/id/sys_vendor", "Fabrikam\xFF Ltd \n\x01");
    tree.write("/sys/class/dmi/id/product_name", "Model\xC3\xA9 7\n");
    tree.write("/sys/class/dmi/id/bios_version", "1.2.\xE2\x82\n");
    EXPECT_EQ(computer(tree), (Rows{{"Fabrikam" + kBad + " Ltd", "Model\xC3\xA9 7"}}));
    EXPECT_EQ(run(tree.root(), "select SMBIOSBIOSVersion from win32_BIOS", {"SMBIOSBIOSVersion"}),
              (Rows{{"1.2." + kBad}}));
}

TEST_F(Firmware, BoardsWithoutTablesTakeTheDeviceTreeModel) {
    tree.write("/sys/firmware/devicetree/base/model", std::string("Raspberry Pi 4 Model B Rev 1.4\0", 31));
    tree.link("/proc/device-tree", "/sys/firmware/devicetree/base");
    EXPECT_EQ(computer(tree), (Rows{{nullopt, "Raspberry Pi 4 Model B Rev 1.4"}}));
}

TEST_F(Firmware, ThePlaceholderModelGivesWayToTheDeviceTreeOneWithoutTheProcLink) {
    tree.write("/sys/class/dmi/id/sys_vendor", "Not Specified\n");
    tree.write("/sys/class/dmi/id/product_name", "Default string\n");
    tree.write("/sys/firmware/devicetree/base/model", std::string("Pine64 Quartz64 Model A\0junk", 28));
    EXPECT_EQ(computer(tree), (Rows{{nullopt, "Pine64 Quartz64 Model A"}}));
}

TEST_F(Firmware, EmptyOrUnreadableFilesAreNull) {
    tree.write("/sys/class/dmi/id/sys_vendor", "\n");
    tree.mkdir("/sys/class/dmi/id/product_name");  // not a file
    EXPECT_EQ(computer(tree), (Rows{{nullopt, nullopt}}));
}

class Video : public testing::Test {
protected:
    TempTree tree;
    void SetUp() override { tree.write("/proc/sys/kernel/osrelease", "6.1.0-9-amd64\n"); }
};

TEST_F(Video, IdsNoListKnowsAreShownInHexAndAKnownVendorKeepsItsName) {
    pciFunction(tree, "0000:00:02.0", "0xf00d", "0x0001", "0x030000");
    pciFunction(tree, "0000:00:03.0", "0x8086", "0xfff1", "0x038000");
    bind(tree, "0000:00:03.0", "vfio-pci");
    EXPECT_EQ(video(tree), (Rows{{"f00d:0001", nullopt}, {"Intel Corporation Device fff1", "6.1.0-9-amd64"}}));
}

TEST_F(Video, NvidiasVersionComesFromItsProcFile) {
    pciFunction(tree, "0000:01:00.0", "0x10de", "0x1c82", "0x030000");
    bind(tree, "0000:01:00.0", "nvidia");
    tree.write("/sys/module/nvidia/version", "535.0\n");
    tree.write("/proc/driver/nvidia/version",
               "NVRM version: NVIDIA UNIX x86_64 Kernel Module  550.54.14  Thu Feb 22 01:44:30 UTC 2024\n"
               "GCC version:  gcc version 12.2.0 (Debian 12.2.0-14)\n");
    EXPECT_EQ(video(tree), (Rows{{"NVIDIA Corporation GP107 [GeForce GTX 1050 Ti]", "550.54.14"}}));
}

TEST_F(Video, TheModuleIsFoundThroughItsLinkOrItsUnderscoredName) {
    pciFunction(tree, "0000:00:02.0", "0x8086", "0x5916", "0x030000");
    bind(tree, "0000:00:02.0", "foo-drv");
    tree.link("/sys/bus/pci/drivers/foo-drv/module", "../../../../module/foo_core");
    tree.write("/sys/module/foo_core/version", "2.5\n");
    pciFunction(tree, "0000:00:03.0", "0x8086", "0x3e92", "0x030000");
    bind(tree, "0000:00:03.0", "bar-drv");
    tree.write("/sys/module/bar_drv/version", "3.1-k\n");
    EXPECT_EQ(video(tree), (Rows{{"Intel Corporation HD Graphics 620", "2.5"},
                                 {"Intel Corporation CoffeeLake-S GT2 [UHD Graphics 630]", "3.1-k"}}));
}

TEST_F(Video, AnOutOfTreeDriverWithoutVersionHasNone) {
    pciFunction(tree, "0000:00:02.0", "0x80ee", "0xbeef", "0x030000");
    bind(tree, "0000:00:02.0", "vboxvideo");
    tree.write("/sys/module/vboxvideo/taint", "OE\n");
    EXPECT_EQ(video(tree), (Rows{{"InnoTek Systemberatung GmbH VirtualBox Graphics Adapter", nullopt}}));
}

TEST_F(Video, AFunctionWithoutIdFilesHasANullName) {
    tree.write("/sys/devices/pci0000:00/0000:00:02.0/class", "0x030000\n");
    tree.link("/sys/bus/pci/devices/0000:00:02.0", "../../../devices/pci0000:00/0000:00:02.0");
    EXPECT_EQ(video(tree), (Rows{{nullopt, nullopt}}));
}

class Sound : public testing::Test {
protected:
    TempTree tree;
};

TEST_F(Sound, TheShortNameStandsInForAMissingLongName) {
    tree.write("/proc/asound/cards",
               " 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n"
               "                      HDA Intel PCH at 0xf1240000 irq 143\n"
               " 1 [Headset        ]: USB-Audio - \n"
               "                      Logitech USB Headset at usb-0000:00:14.0-2, full speed\n"
               "10 [Dock           ]: USB-Audio - Caf\xE9 Dock\n"
               "                      Dock at usb-0000:00:14.0-3, high speed\n");
    EXPECT_EQ(sound(tree), (Rows{{"HDA Intel PCH"}, {"Headset"}, {"Caf" + kBad + " Dock"}}));
}

TEST_F(Sound, AnEmptyCardListFallsBackToSysfsInCardNumberOrder) {
    tree.write("/proc/asound/cards", "--- no soundcards ---\n");
    for (const char* card : {"card10", "card2"}) {
        tree.write(std::string("/sys/devices/platform/snd/sound/") + card + "/id", std::string(card) + "id\n");
        tree.link(std::string("/sys/class/sound/") + card, std::string("../../devices/platform/snd/sound/") + card);
    }
    tree.link("/sys/class/sound/controlC2", "../../devices/platform/snd/sound/card2");
    tree.link("/sys/class/sound/cardX", "../../devices/platform/snd/sound/card2");
    EXPECT_EQ(sound(tree), (Rows{{"card2id"}, {"card10id"}}));
}

class OperatingSystem : public testing::Test {
protected:
    TempTree tree;
};

TEST_F(OperatingSystem, TheVendorCopyOfOsReleaseServesWhenEtcHasNone) {
    tree.write("/usr/lib/os-release", "PRETTY_NAME=\"Example OS 5\"\n");
    tree.write("/etc/debian_version", "trixie/sid\n");
    tree.write("/proc/self/mounts", "/dev/sdb1 /mnt/my\\040disk ext4 rw 0 0\n/dev/my\\040root / ext4 rw 0 0\n");
    EXPECT_EQ(os(tree), (Rows{{"Example OS 5|" + tree.root() + "|/dev/my root", "trixie/sid"}}));
}

TEST_F(OperatingSystem, WithNothingToReadItIsLinuxAndTheServicePackIsNull) {
    EXPECT_EQ(os(tree), (Rows{{"Linux|" + tree.root() + "|", nullopt}}));
}

TEST_F(OperatingSystem, AVersionWithoutANameIsLinuxsVersion) {
    tree.write("/etc/os-release", "# comment\nVERSION=1.0\nPRETTY_NAME=\"\"\n");
    tree.write("/proc/sys/kernel/osrelease", "6.6.1\n");
    EXPECT_EQ(os(tree), (Rows{{"Linux 1.0|" + tree.root() + "|", "kernel 6.6.1"}}));
}

class Network : public testing::Test {
protected:
    TempTree tree;
    void iface(const std::string& name, const std::string& index, const std::string& type) {
        const std::string dir = "/sys/devices/virtual/net/" + name;
        if (!index.empty()) tree.write(dir + "/ifindex", index + "\n");
        tree.write(dir + "/type", type + "\n");
        tree.link("/sys/class/net/" + name, "../../devices/virtual/net/" + name);
    }
};

TEST_F(Network, LoopbackByTypeIsSkippedAndAnInterfaceWithoutIndexComesLast) {
    iface("zz0", "", "1");
    iface("lo2", "7", "772");
    iface("veth1", "5", "1");
    iface("tun0", "4", "65534");
    EXPECT_EQ(network(tree), (Rows{{"tun0"}, {"veth1"}, {"zz0"}}));
}

TEST_F(Network, APlatformDeviceHasNoProductSoTheInterfaceNameStands) {
    tree.write("/sys/devices/platform/soc/ff3f0000.ethernet/net/eth0/ifindex", "2\n");
    tree.link("/sys/devices/platform/soc/ff3f0000.ethernet/net/eth0/device", "../../../ff3f0000.ethernet");
    tree.link("/sys/class/net/eth0", "../../devices/platform/soc/ff3f0000.ethernet/net/eth0");
    EXPECT_EQ(network(tree), (Rows{{"eth0"}}));
}

TEST_F(Network, ABadByteInAUsbProductIsReplaced) {
    const std::string usb = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1";
    tree.write(usb + "/idVendor", "0b95\n");
    tree.write(usb + "/product", "Gigabit\xC0 Adapter\n");
    tree.write(usb + "/1-1:1.0/net/eth1/ifindex", "3\n");
    tree.link(usb + "/1-1:1.0/net/eth1/device", "../../../1-1:1.0");
    tree.link("/sys/class/net/eth1", "../../devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/net/eth1");
    EXPECT_EQ(network(tree), (Rows{{"Gigabit" + kBad + " Adapter"}}));
}
