// The run over the real backends: this machine's package database as the uninstall list, and
// fixture machine trees as the instrumentation.
#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/instrumentation/linux/system_instrumentation.h"
#include "platform/registry/linux/system_registry.h"
#include "tests/inventory/run_harness.h"

namespace {

using inventorytest::RunHarness;
using inventorytest::Today;
using inventorytest::Sent;
using service::Upload;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> AddressesTo(const RunHarness& h, const std::string& page) {
    std::vector<std::string> out;
    for (const Sent& s : h.To(page)) out.push_back(s.address);
    return out;
}

// The packages the package manager itself calls installed: "ii" and "hi" rows.
bool InstalledPackages(std::vector<std::pair<std::string, std::string>>& out) {
    FILE* pipe = ::popen("dpkg-query -W -f='${db:Status-Abbrev}\\t${Package}\\t${Version}\\n' 2>/dev/null", "r");
    if (!pipe) return false;
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    if (::pclose(pipe) != 0) return false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto tab1 = line.find('\t');
        const auto tab2 = line.find('\t', tab1 + 1);
        if (tab1 == std::string::npos || tab2 == std::string::npos) continue;
        const std::string status = line.substr(0, tab1);
        if (status.rfind("ii", 0) != 0 && status.rfind("hi", 0) != 0) continue;
        out.emplace_back(line.substr(tab1 + 1, tab2 - tab1 - 1), line.substr(tab2 + 1));
    }
    return true;
}

TEST(ThisMachine, TheSoftwareSentIsExactlyTheInstalledPackages) {
    // Another program may install packages meanwhile: a database that changed during the run
    // is no verdict, so try again a few times.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<std::pair<std::string, std::string>> packages, after;
        if (!InstalledPackages(packages) || packages.empty()) GTEST_SKIP() << "no dpkg database here";

        std::ostringstream diagnostics;
        platform::SystemRegistry registry("/nonexistent/vantrel-hive.reg", platform::PackageSources{"/", ""},
                                          diagnostics);
        RunHarness h;
        h.registry = &registry;
        h.Run();
        if (!InstalledPackages(after) || after != packages) continue;

        std::vector<std::string> expected;
        for (const auto& [name, version] : packages) expected.push_back(h.Software(name + " v" + version));
        std::vector<std::string> sent = AddressesTo(h, "sftdata.asp");
        std::sort(expected.begin(), expected.end());
        std::sort(sent.begin(), sent.end());
        EXPECT_EQ(sent.size(), expected.size());
        EXPECT_EQ(sent, expected);
        EXPECT_EQ(h.fake.ui.doEventsCalls, static_cast<int>(packages.size()));  // no hardware: a yield a program
        return;
    }
    GTEST_SKIP() << "the package database kept changing";
}

class FixtureMachine : public ::testing::Test {
protected:
    RunHarness h;
    std::unique_ptr<platform::Instrumentation> instrumentation;
    void RunOn(const std::string& name) {
        instrumentation = platform::makeInstrumentationAt(std::string(VANTREL_FIXTURES_DIR) + "/machines/" + name);
        h.instrumentation = instrumentation.get();
        h.Run();
    }
};

TEST_F(FixtureMachine, TheLaptopsHardwareIsSentValueForValue) {
    RunOn("laptop");
    ASSERT_THAT(h.fake.ui.shown, IsEmpty());
    EXPECT_THAT(AddressesTo(h, "sounddata.asp"), ElementsAre(h.Upload(Upload::Sound, {"HDA Intel PCH"})));
    EXPECT_THAT(AddressesTo(h, "videodata.asp"),
                ElementsAre(h.Upload(Upload::Video, {"Intel Corporation HD Graphics 620 6.1.0-28-amd64"})));
    EXPECT_THAT(AddressesTo(h, "printdata.asp"),
                ElementsAre(h.Upload(Upload::Printer, {"Brother HL-L2350DW series, using brlaser v6"}),
                            h.Upload(Upload::Printer, {"HP LaserJet Pro M404-M405 Postscript (recommended)"})));
    EXPECT_THAT(AddressesTo(h, "MMSdata.asp"), ElementsAre(h.Upload(Upload::MakeAndModel, {"LENOVO 20HRCTO1WW"})));
    EXPECT_THAT(AddressesTo(h, "mainhwddata.asp"),
                ElementsAre(h.Upload(Upload::Bios, {Today(), "LENOVO 20HRCTO1WW N1MET31W (1.16 )"})));
    EXPECT_THAT(AddressesTo(h, "OSdata.asp"),
                ElementsAre(h.Upload(Upload::OperatingSystem,
                                     {"Debian GNU/Linux 12 (bookworm) 12.8, kernel 6.1.0-28-amd64"})));
    EXPECT_THAT(AddressesTo(h, "NICdata.asp"),
                ElementsAre(h.Upload(Upload::NetworkCard, {"Intel Corporation Wireless 8265 / 8275"}),
                            h.Upload(Upload::NetworkCard, {"Intel Corporation Ethernet Connection (4) I219-LM"})));
    ASSERT_EQ(h.sent.size(), 11u);  // reset, nine items, finalize
    EXPECT_EQ(h.sent.back().address, h.Address(service::FinalizeRequest(h.Who())));
}

TEST_F(FixtureMachine, NullFirmwareValuesAndAnUnboundCardLeaveOnlyTheirBlanks) {
    h.state.IsSubscriber = false;
    RunOn("twovideo");
    EXPECT_THAT(AddressesTo(h, "evalvideodata.asp"),
                ElementsAre(h.Upload(Upload::Video, {"Intel Corporation CoffeeLake-S GT2 [UHD Graphics 630] "}),
                            h.Upload(Upload::Video, {"NVIDIA Corporation GP107 [GeForce GTX 1050 Ti] 535.183.01"})));
    EXPECT_THAT(AddressesTo(h, "evalMMSdata.asp"), ElementsAre(h.Upload(Upload::MakeAndModel, {" "})));
    EXPECT_THAT(AddressesTo(h, "evalmainhwddata.asp"), ElementsAre(h.Upload(Upload::Bios, {Today(), "  "})));
    EXPECT_THAT(AddressesTo(h, "evalOSdata.asp"),
                ElementsAre(h.Upload(Upload::OperatingSystem, {"Nova Linux 3.1 \"Quasar\" kernel 6.8.0-45-generic"})));
    EXPECT_THAT(AddressesTo(h, "evalNICdata.asp"),
                ElementsAre(h.Upload(Upload::NetworkCard, {"AX88179"}), h.Upload(Upload::NetworkCard, {"0bda:8153"}),
                            h.Upload(Upload::NetworkCard, {"br0"})));
    EXPECT_THAT(AddressesTo(h, "evalprintdata.asp"), IsEmpty());
    EXPECT_THAT(AddressesTo(h, "finalize.asp"), IsEmpty());
}

}  // namespace
