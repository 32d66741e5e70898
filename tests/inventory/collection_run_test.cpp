// The collection run over fakes: request order, the evaluation twins, data and progress texts,
// the frozen buttons, the final text on the page, the instrumentation failure and a close during the run.
#include <string>
#include <vector>

#include <QSignalSpy>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/common/date.h"
#include "tests/inventory/run_harness.h"

namespace {

using inventorytest::RunHarness;
using inventorytest::Today;
using inventorytest::Sent;
using service::Upload;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class CollectionRunOrder : public ::testing::Test {
protected:
    RunHarness h;
    void SetUp() override {
        h.AddProgram("Editor", "Editor", "2.1");
        h.AddProgram("Viewer", "Viewer", std::nullopt);
        h.AddTypicalHardware();
    }
    std::vector<std::string> Expected() {
        const auto who = h.Who();
        std::vector<std::string> out{
            h.Address(service::ProfileResetRequest(who, h.state.ProfileCrDate, h.state.ProfileLuDate)),
            h.Software("Editor v2.1"),
            h.Software("Viewer"),
            h.Upload(Upload::Sound, {"HD Audio"}),
            h.Upload(Upload::Video, {"VGA 1.0"}),
            h.Upload(Upload::Printer, {"Generic PS"}),
            h.Upload(Upload::MakeAndModel, {"Acme Box 9"}),
            h.Upload(Upload::Bios, {Today(), "Acme Box 9 B1.2"}),
            h.Upload(Upload::OperatingSystem, {"Debian GNU/Linux 12 SP1"}),
            h.Upload(Upload::NetworkCard, {"eth0"}),
        };
        if (who.isSubscriber) out.push_back(h.Address(service::FinalizeRequest(who)));
        return out;
    }
};

TEST_F(CollectionRunOrder, ASubscriberResetsUploadsEverythingInOrderAndFinalizes) {
    h.Run();
    const std::vector<std::string> expected = Expected();
    EXPECT_EQ(h.Addresses(), expected);
    EXPECT_EQ(h.Addresses().front().rfind(h.state.ServerPath + "updatedata.asp?UID=alice&PWD=", 0), 0u);
    EXPECT_EQ(h.Addresses().back(), h.state.ServerPath + "finalize.asp?UID=alice&PWD=pa%20ss%26word");
    EXPECT_THAT(h.fake.instrumentation.queries,
                ElementsAre("Select Name from win32_SoundDevice",
                            "Select Name, DriverVersion from win32_VideoController",
                            "select DriverName from win32_Printer",
                            "select Manufacturer, Model from win32_ComputerSystem",
                            "select SMBIOSBIOSVersion from win32_BIOS",
                            "select Name, CSDVersion from win32_OperatingSystem",
                            "select Name from win32_NetworkAdapter"));
    EXPECT_EQ(h.Progress(), "Your Hardware and Software Collection Is Complete");
    EXPECT_EQ(h.w().CurrentStep(), 3);  // the run does not move the wizard
}

TEST_F(CollectionRunOrder, AnEvaluatingUserUsesTheTwinsAndSendsNoClosingRequest) {
    h.state.IsSubscriber = false;
    h.Run();
    EXPECT_EQ(h.Addresses(), Expected());
    ASSERT_EQ(h.sent.size(), 10u);
    EXPECT_EQ(h.sent[0].address, h.state.ServerPath + "evalupdatedata.asp?UID=Eval0C3F9");
    EXPECT_EQ(h.sent[1].address, h.state.ServerPath + "evalsftdata.asp?UID=Eval0C3F9&qIS=Editor%20v2.1");
    EXPECT_EQ(h.sent[7].address.rfind(h.state.ServerPath + "evalmainhwddata.asp?UID=Eval0C3F9&ConfigDate=", 0), 0u);
    for (const Sent& s : h.sent) EXPECT_EQ(s.address.find("PWD="), std::string::npos) << s.address;
    EXPECT_EQ(h.Progress(),
              "The Hardware and Software Collection Is Complete. Your evaluation Username is Eval0C3F9. "
              "Please write down this username now.");
}

TEST_F(CollectionRunOrder, EachRequestFollowsItsOwnProgressText) {
    h.Run();
    ASSERT_EQ(h.sent.size(), 11u);
    std::vector<std::string> progress;
    for (const Sent& s : h.sent) progress.push_back(s.progress);
    EXPECT_THAT(progress, ElementsAre("Deleting your current VantrelNet Profile",
                                      "Uploading Software Information...",
                                      "Uploading Software Information...Editor v2.1",
                                      "Uploading Sound Card Information...HD Audio",
                                      "Uploading Video Card Information...VGA 1.0",
                                      "Uploading Printer Information...Generic PS",
                                      "Uploading Computer Make and Model Information...Acme Box 9",
                                      "Uploading BIOS Information...Acme Box 9 B1.2",
                                      "Uploading Operating System Information...Debian GNU/Linux 12 SP1",
                                      "Uploading Network Card Information...eth0",
                                      "Uploading Network Card Information...eth0"));
}

TEST_F(CollectionRunOrder, FailedRequestsDoNotStopTheSeries) {
    h.Build();
    h.fake.records.fallback = nullptr;
    h.fake.records.down = true;
    h.Run();
    EXPECT_EQ(h.fake.records.requested, Expected());
    // Nothing was stored: the end says so instead of announcing a complete collection.
    EXPECT_EQ(h.Progress(),
              "Your Hardware and Software Collection Is Not Complete. The upload did not complete: 11 of 11 items "
              "could not be sent. Please check your connection to the Internet and run Vantrel Collector again.");
}

// How failures and an unregistered evaluation identity shape the final text: tests/session.

TEST_F(CollectionRunOrder, APageWithoutAProgressLineStillGetsEveryRequest) {
    h.progressLine = false;
    h.Run();
    EXPECT_EQ(h.Addresses(), Expected());
    EXPECT_EQ(h.Progress(), "<none>");
}

TEST_F(CollectionRunOrder, ReachingTheProgressPageAgainRunsEverythingAgain) {
    h.Run();
    h.w().Step(-1);
    h.w().Step(+1);
    std::vector<std::string> twice = Expected();
    const std::vector<std::string> once = twice;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(h.Addresses(), twice);
}

TEST_F(CollectionRunOrder, BackNextAndThePageAreaAreFrozenDuringTheRunOnly) {
    h.Run();
    for (const Sent& s : h.sent) {
        EXPECT_FALSE(s.backEnabled) << s.address;
        EXPECT_FALSE(s.nextEnabled) << s.address;
        EXPECT_FALSE(s.pageEnabled) << s.address;
    }
    EXPECT_FALSE(h.w().Frozen());
    EXPECT_TRUE(h.w().cmdStepBack()->isEnabled());
    EXPECT_TRUE(h.w().cmdStepFwd()->isEnabled());
    EXPECT_TRUE(h.w().picPage()->isEnabled());
    EXPECT_TRUE(h.w().cmdTerminate()->isEnabled());
}

class Categories : public ::testing::Test {
protected:
    RunHarness h;
};

TEST_F(Categories, AnEmptyCategorySendsNothingAndLeavesTheProgressText) {
    h.AddProgram("Viewer", "Viewer", std::nullopt);
    h.AddInstance("win32_videocontroller", {{"Name", "VGA"}, {"DriverVersion", "1.0"}});
    std::vector<std::string> atYield;
    h.fake.ui.onDoEvents = [&] { atYield.push_back(h.Progress()); };
    h.Run();
    EXPECT_THAT(h.To("sounddata.asp"), IsEmpty());
    // The yield before the video controller still shows the last program: sound wrote nothing.
    ASSERT_EQ(atYield.size(), 2u);
    EXPECT_EQ(atYield[1], "Uploading Software Information...Viewer");
    ASSERT_EQ(h.To("videodata.asp").size(), 1u);
}

TEST_F(Categories, TwoVideoControllersGiveTwoRequestsEachAfterItsOwnText) {
    h.AddInstance("win32_videocontroller", {{"Name", "VGA"}, {"DriverVersion", "1.0"}});
    h.AddInstance("win32_videocontroller", {{"Name", "3D"}, {"DriverVersion", "7.5"}});
    h.Run();
    const auto video = h.To("videodata.asp");
    ASSERT_EQ(video.size(), 2u);
    EXPECT_EQ(video[0].address, h.Upload(Upload::Video, {"VGA 1.0"}));
    EXPECT_EQ(video[0].progress, "Uploading Video Card Information...VGA 1.0");
    EXPECT_EQ(video[1].address, h.Upload(Upload::Video, {"3D 7.5"}));
    EXPECT_EQ(video[1].progress, "Uploading Video Card Information...3D 7.5");
}

TEST_F(Categories, NullPropertiesContributeNothing) {
    h.AddInstance("win32_videocontroller", {{"Name", "VGA"}, {"DriverVersion", std::nullopt}});
    h.AddInstance("win32_sounddevice", {{"Name", std::nullopt}});
    h.Run();
    ASSERT_EQ(h.To("videodata.asp").size(), 1u);
    EXPECT_EQ(h.To("videodata.asp")[0].address, h.state.ServerPath + "videodata.asp?UID=alice&Video=VGA%20&PWD=pa%20ss%26word");
    ASSERT_EQ(h.To("sounddata.asp").size(), 1u);
    EXPECT_EQ(h.To("sounddata.asp")[0].address, h.state.ServerPath + "sounddata.asp?UID=alice&Sound=&PWD=pa%20ss%26word");
}

TEST_F(Categories, WithoutAComputerSystemTheBiosTextStartsWithTwoBlanks) {
    h.AddInstance("win32_bios", {{"SMBIOSBIOSVersion", "B1.2"}});
    h.Run();
    const auto bios = h.To("mainhwddata.asp");
    ASSERT_EQ(bios.size(), 1u);
    EXPECT_EQ(bios[0].address, h.Upload(Upload::Bios, {Today(), "  B1.2"}));
    EXPECT_EQ(bios[0].progress, "Uploading BIOS Information...  B1.2");
}

TEST_F(Categories, TheBiosTextUsesTheLastComputerSystemsManufacturerAndModel) {
    h.AddInstance("win32_computersystem", {{"Manufacturer", "Acme"}, {"Model", "Box 9"}});
    h.AddInstance("win32_computersystem", {{"Manufacturer", "Zeta"}});  // no Model: the saved one stays
    h.AddInstance("win32_bios", {{"SMBIOSBIOSVersion", "B1.2"}});
    h.Run();
    const auto mms = h.To("MMSdata.asp");
    ASSERT_EQ(mms.size(), 1u);  // the second cannot be read for its request
    EXPECT_EQ(mms[0].address, h.Upload(Upload::MakeAndModel, {"Acme Box 9"}));
    ASSERT_EQ(h.To("mainhwddata.asp").size(), 1u);
    EXPECT_EQ(h.To("mainhwddata.asp")[0].address, h.Upload(Upload::Bios, {Today(), "Zeta Box 9 B1.2"}));
}

TEST_F(Categories, AnUnreadablePropertySkipsOnlyThatInstance) {
    h.AddInstance("win32_networkadapter", {{"Name", "eth0"}});
    h.AddInstance("win32_networkadapter", {{"Caption", "broken"}});
    h.AddInstance("win32_networkadapter", {{"Name", "wlan0"}});
    h.Run();
    const auto nic = h.To("NICdata.asp");
    ASSERT_EQ(nic.size(), 2u);
    EXPECT_EQ(nic[0].address, h.Upload(Upload::NetworkCard, {"eth0"}));
    EXPECT_EQ(nic[1].address, h.Upload(Upload::NetworkCard, {"wlan0"}));
    EXPECT_EQ(nic[1].progress, "Uploading Network Card Information...wlan0");
    ASSERT_FALSE(h.sent.empty());
    EXPECT_EQ(h.sent.back().address, h.Address(service::FinalizeRequest(h.Who())));
}

TEST_F(Categories, TheOperatingSystemNameIsCutBeforeTheFirstBar) {
    h.AddInstance("win32_operatingsystem", {{"Name", "Win|C:\\|D:"}, {"CSDVersion", "Service Pack 3"}});
    h.Run();
    const auto os = h.To("OSdata.asp");
    ASSERT_EQ(os.size(), 1u);
    EXPECT_EQ(os[0].address, h.Upload(Upload::OperatingSystem, {"Win Service Pack 3"}));
    EXPECT_EQ(os[0].progress, "Uploading Operating System Information...Win Service Pack 3");
}

TEST_F(Categories, AnOperatingSystemNameWithoutABarIsSentWhole) {
    h.AddInstance("win32_operatingsystem", {{"Name", "Debian GNU/Linux 12 (bookworm)"}, {"CSDVersion", std::nullopt}});
    h.Run();
    const auto os = h.To("OSdata.asp");
    ASSERT_EQ(os.size(), 1u);
    EXPECT_EQ(os[0].address, h.Upload(Upload::OperatingSystem, {"Debian GNU/Linux 12 (bookworm) "}));
    EXPECT_EQ(os[0].progress, "Uploading Operating System Information...Debian GNU/Linux 12 (bookworm) ");
}

TEST(CollectionRunFailure, WithoutInstrumentationTheMessageIsShownAndTheProgramEnds) {
    RunHarness h;
    h.AddProgram("Editor", "Editor", "2.1");
    h.fake.instrumentation.connectFails = true;
    h.Build();
    EXPECT_THROW(h.Run(), platform::ProgramEnded);
    EXPECT_TRUE(h.fake.ui.ended);
    ASSERT_EQ(h.fake.ui.shown.size(), 1u);
    const platform::MessageBox& box = h.fake.ui.shown[0];
    EXPECT_EQ(box.title, "WMI Failed To Load");
    EXPECT_EQ(box.text, "Unable to load WMI. Please read the Vantrel Collector FAQ at " +
                            service::SiteAddressWithPath("/download/FAQ.asp") +
                            " to troubleshoot this problem. This program will terminate once you click OK. "
                            "You can relaunch Vantrel Collector once you have installed WMI.");
    EXPECT_EQ(box.buttons, platform::Buttons::OK);
    EXPECT_EQ(box.icon, platform::Icon::None);
    EXPECT_THAT(h.fake.records.requested, IsEmpty());
    EXPECT_THAT(h.fake.instrumentation.queries, IsEmpty());
}

class CloseDuringRun : public ::testing::Test {
protected:
    RunHarness h;
    void SetUp() override {
        h.AddProgram("A", "Alpha", std::nullopt);
        h.AddProgram("B", "Beta", std::nullopt);
        h.AddProgram("C", "Gamma", std::nullopt);
        h.AddTypicalHardware();
        h.Build();
    }
    // Asks to close the window from inside the `at`-th yield, answering the question with `answer`.
    void CloseAtYield(int at, platform::Answer answer) {
        h.fake.ui.onDoEvents = [this, at, answer] {
            if (h.fake.ui.doEventsCalls != at) return;
            h.fake.ui.answers = {answer};
            h.w().close();
            sentBeforeClose = h.sent.size();
            textAtClose = h.Progress();
        };
    }
    std::size_t sentBeforeClose = 0;
    std::string textAtClose;
};

TEST_F(CloseDuringRun, AConfirmedCloseStopsTheRunAndTheWindowCloses) {
    QSignalSpy closed(&h.w(), &wizard::CWizard::closed);
    std::string textAtUnload;
    h.progressPage->onUnload = [&](QWidget& form) {
        auto* label = form.findChild<QLabel*>("Label2");
        textAtUnload = label ? label->text().toStdString() : "<none>";
    };
    CloseAtYield(2, platform::Answer::Yes);
    h.Run();
    ASSERT_EQ(h.fake.ui.shown.size(), 1u);
    EXPECT_EQ(h.fake.ui.shown[0].text, "Are you sure you want to cancel the wizard?");
    EXPECT_EQ(h.fake.ui.doEventsCalls, 2);
    EXPECT_EQ(sentBeforeClose, 3u);  // reset, Alpha, Beta
    EXPECT_EQ(h.sent.size(), sentBeforeClose);
    EXPECT_EQ(textAtClose, "Uploading Software Information...Alpha");
    EXPECT_EQ(textAtUnload, textAtClose);  // nothing written after the close
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(h.w().isVisible());
    EXPECT_TRUE(h.w().Pages().empty());
}

TEST_F(CloseDuringRun, ACloseDuringTheHardwareStopsBeforeTheNextItem) {
    QSignalSpy closed(&h.w(), &wizard::CWizard::closed);
    CloseAtYield(5, platform::Answer::Yes);  // three programs, sound, then the video yield
    h.Run();
    ASSERT_EQ(h.sent.size(), 5u);
    EXPECT_EQ(h.sent.back().address, h.Upload(Upload::Sound, {"HD Audio"}));
    EXPECT_THAT(h.To("videodata.asp"), IsEmpty());
    EXPECT_THAT(h.To("finalize.asp"), IsEmpty());
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(CloseDuringRun, ARefusedCloseLetsTheRunFinish) {
    QSignalSpy closed(&h.w(), &wizard::CWizard::closed);
    CloseAtYield(2, platform::Answer::No);
    h.Run();
    EXPECT_EQ(h.sent.size(), 12u);  // reset, three programs, seven items, finalize
    EXPECT_EQ(h.Progress(), "Your Hardware and Software Collection Is Complete");
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(h.w().isVisible());
    EXPECT_FALSE(h.w().Frozen());
}

}  // namespace
