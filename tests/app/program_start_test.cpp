// Program start: settings into the shared state, the version check's outcomes, the wizard.
#include <gtest/gtest.h>

#include "app/program.h"
#include "tests/support/fakes.h"
#include "wizard/cwizard.h"

namespace {

platform::RecordSet Records(int count) {
    std::vector<std::vector<platform::FieldValue>> rows(static_cast<std::size_t>(count),
                                                        std::vector<platform::FieldValue>{std::string("1.1.11")});
    return platform::RecordSet({"Version"}, rows);
}

class ProgramStart : public ::testing::Test {
protected:
    fakes::TestPlatform fake;
    app::Program program{fake.get()};
    const std::string versionAddress = "http://svc.test/base/getversion.asp?Major=1&Minor=1&Rev=11";

    void Settings() {
        fake.registry.SetString("Software\\Vantrel", "ServerPath", "http://svc.test/base/");
        fake.registry.SetDword("Software\\Vantrel", "FilePath", 7);
    }
};

TEST_F(ProgramStart, AnAllowedVersionOpensTheWizardOnStepOne) {
    Settings();
    fake.records.replies[versionAddress] = Records(2);
    program.Start();
    EXPECT_EQ(program.State().ServerPath, "http://svc.test/base/");
    EXPECT_EQ(program.State().FilePath, "7");
    EXPECT_EQ(fake.records.requested, std::vector<std::string>{versionAddress});
    ASSERT_NE(program.Controller(), nullptr);
    EXPECT_EQ(program.Controller()->WizardHandle().CurrentStep(), 1);
    EXPECT_TRUE(program.Controller()->WizardHandle().isVisible());
    EXPECT_TRUE(fake.ui.shown.empty());
    EXPECT_EQ(fake.registry.openHandles, 0);
}

TEST_F(ProgramStart, ARefusedVersionShowsTheMessageOnceAndOpensNoWindow) {
    Settings();
    fake.records.replies[versionAddress] = Records(0);
    program.Start();
    EXPECT_EQ(program.Controller(), nullptr);
    ASSERT_EQ(fake.ui.shown.size(), 1u);
    EXPECT_EQ(fake.ui.shown[0].text,
              "You are running Vantrel Collector v1.1.10. Go to http://www.vantrelnet.example/download/downloadnow.asp"
              " and download the most current version, Vantrel Collector v1.1.11.");
    EXPECT_EQ(fake.ui.shown[0].title, "Vantrel Collector");
    EXPECT_EQ(fake.ui.shown[0].buttons, platform::Buttons::OK);
    EXPECT_EQ(fake.ui.shown[0].icon, platform::Icon::None);
}

TEST_F(ProgramStart, AnUnreachableServiceOrMissingSettingsOpenTheWizardSilently) {
    Settings();
    fake.records.down = true;
    program.Start();
    EXPECT_NE(program.Controller(), nullptr);
    EXPECT_TRUE(fake.ui.shown.empty());

    fakes::TestPlatform bare;
    bare.records.down = true;  // an empty ServerPath leads nowhere
    app::Program noSettings(bare.get());
    noSettings.Start();
    EXPECT_EQ(noSettings.State().ServerPath, "");
    EXPECT_EQ(noSettings.State().FilePath, "");
    EXPECT_NE(noSettings.Controller(), nullptr);
    EXPECT_TRUE(bare.ui.shown.empty());
}

}  // namespace
