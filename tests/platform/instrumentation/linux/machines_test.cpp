// The seven classes over the fixture machines, value for value.
#include <gmock/gmock.h>

#include "instr_test_support.h"

using instrtest::machine;
using instrtest::Rows;
using instrtest::run;
using std::nullopt;

namespace {

Rows sound(const std::string& root) { return run(root, "Select Name from win32_SoundDevice", {"Name"}); }
Rows video(const std::string& root) {
    return run(root, "Select Name, DriverVersion from win32_VideoController", {"Name", "DriverVersion"});
}
Rows printers(const std::string& root) { return run(root, "select DriverName from win32_Printer", {"DriverName"}); }
Rows computer(const std::string& root) {
    return run(root, "select Manufacturer, Model from win32_ComputerSystem", {"Manufacturer", "Model"});
}
Rows bios(const std::string& root) {
    return run(root, "select SMBIOSBIOSVersion from win32_BIOS", {"SMBIOSBIOSVersion"});
}
Rows os(const std::string& root) {
    return run(root, "select Name, CSDVersion from win32_OperatingSystem", {"Name", "CSDVersion"});
}
Rows network(const std::string& root) { return run(root, "select Name from win32_NetworkAdapter", {"Name"}); }

}  // namespace

class Laptop : public testing::Test {
protected:
    const std::string root = machine("laptop");
};

TEST_F(Laptop, SoundCardTakesTheLongNameOfTheCardList) {
    EXPECT_EQ(sound(root), (Rows{{"HDA Intel PCH"}}));
}

TEST_F(Laptop, OnlyTheDisplayControllerIsAVideoControllerAndItsInTreeDriverHasTheKernelsVersion) {
    EXPECT_EQ(video(root), (Rows{{"Intel Corporation HD Graphics 620", "6.1.0-28-amd64"}}));
}

TEST_F(Laptop, PrintersComeFromTheSchedulerConfigurationSortedByName) {
    EXPECT_EQ(printers(root), (Rows{{"Brother HL-L2350DW series, using brlaser v6"},
                                    {"HP LaserJet Pro M404-M405 Postscript (recommended)"}}));
}

TEST_F(Laptop, MakeModelAndFirmwareVersionComeFromTheFirmwareTables) {
    EXPECT_EQ(computer(root), (Rows{{"LENOVO", "20HRCTO1WW"}}));
    // The blank inside the parentheses is the firmware's own.
    EXPECT_EQ(bios(root), (Rows{{"N1MET31W (1.16 )"}}));
}

TEST_F(Laptop, OperatingSystemNamesTheDistributionRootAndRootDevice) {
    EXPECT_EQ(os(root), (Rows{{"Debian GNU/Linux 12 (bookworm)|" + root + "|/dev/nvme0n1p2",
                               "12.8, kernel 6.1.0-28-amd64"}}));
}

TEST_F(Laptop, NetworkAdaptersComeInIndexOrderWithoutLoopback) {
    // The Wi-Fi card has the lower interface index, though its name sorts after the Ethernet's.
    EXPECT_EQ(network(root), (Rows{{"Intel Corporation Wireless 8265 / 8275"},
                                   {"Intel Corporation Ethernet Connection (4) I219-LM"}}));
}

class Vm : public testing::Test {
protected:
    const std::string root = machine("vm");
};

TEST_F(Vm, HasNoSoundCardsAndNoPrinters) {
    EXPECT_TRUE(sound(root).empty());
    EXPECT_TRUE(printers(root).empty());
}

TEST_F(Vm, VideoIsTheParavirtualCard) {
    EXPECT_EQ(video(root), (Rows{{"Red Hat, Inc. QXL paravirtual graphic card", "6.5.11-300.fc39.x86_64"}}));
}

TEST_F(Vm, WithoutFirmwareTablesTheSingleInstancesHoldNulls) {
    EXPECT_EQ(computer(root), (Rows{{nullopt, nullopt}}));
    EXPECT_EQ(bios(root), (Rows{{nullopt}}));
}

TEST_F(Vm, AnAbsoluteLinkResolvesInsideTheTree) {
    // etc/os-release -> /usr/lib/os-release must not read the test machine's own file.
    EXPECT_EQ(os(root), (Rows{{"Fedora Linux 39 (Server Edition)|" + root + "|/dev/mapper/fedora-root",
                               "kernel 6.5.11-300.fc39.x86_64"}}));
}

TEST_F(Vm, AVirtioInterfaceIsNamedAfterThePciFunctionBelowIt) {
    // Not after the virtio device's own ids (1af4:0001), which are no PCI ids.
    EXPECT_EQ(network(root), (Rows{{"Red Hat, Inc. Virtio network device"}}));
}

class TwoVideo : public testing::Test {
protected:
    const std::string root = machine("twovideo");
};

TEST_F(TwoVideo, BothCardsInSysfsOrderTheUnboundOneWithoutVersion) {
    EXPECT_EQ(video(root), (Rows{{"Intel Corporation CoffeeLake-S GT2 [UHD Graphics 630]", nullopt},
                                 {"NVIDIA Corporation GP107 [GeForce GTX 1050 Ti]", "535.183.01"}}));
}

TEST_F(TwoVideo, FirmwarePlaceholdersReadAsNull) {
    EXPECT_EQ(computer(root), (Rows{{nullopt, nullopt}}));
    EXPECT_EQ(bios(root), (Rows{{nullopt}}));
}

TEST_F(TwoVideo, WithoutTheCardListSoundCardsComeFromSysfs) {
    EXPECT_EQ(sound(root), (Rows{{"NVIDIA Corporation GP107GL High Definition Audio Controller"},
                                 {"USB Audio Device"}}));
}

TEST_F(TwoVideo, OperatingSystemFromNameAndVersionOnAnOverlayRoot) {
    EXPECT_EQ(os(root), (Rows{{R"(Nova Linux 3.1 "Quasar"|)" + root + "|overlay", "kernel 6.8.0-45-generic"}}));
}

TEST_F(TwoVideo, UsbAdaptersByProductOrIdsAndABridgeByItsName) {
    EXPECT_EQ(network(root), (Rows{{"AX88179"}, {"0bda:8153"}, {"br0"}}));
}

TEST_F(TwoVideo, NoPrinterConfigurationMeansNoPrinters) {
    EXPECT_TRUE(printers(root).empty());
}
