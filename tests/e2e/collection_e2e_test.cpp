// Whole runs of the collector against the reference data service: program start, the pages
// driven as a user would, the laptop fixture machine and an uninstall list, then what the
// service journalled and stored.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/program.h"
#include "platform/instrumentation/linux/system_instrumentation.h"
#include "signin/page2.h"
#include "tests/support/dataservice_process.h"
#include "tests/support/fakes.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/upload_pages.h"
#include "wizard/cwizard.h"

namespace {

using ::testing::ElementsAreArray;

constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// What the laptop fixture and the uninstall list below make the service store, in order.
const std::vector<std::string> kStoredItems = {
    "Software\tEditor v2.1",
    "Software\tViewer",
    "Software\tCaf\xC3\xA9 & Co v1.0+b=2",
    "Sound\tHDA Intel PCH",
    "Video\tIntel Corporation HD Graphics 620 6.1.0-28-amd64",
    "Printer\tBrother HL-L2350DW series, using brlaser v6",
    "Printer\tHP LaserJet Pro M404-M405 Postscript (recommended)",
    "MMS\tLENOVO 20HRCTO1WW",
    "BIOS\tLENOVO 20HRCTO1WW N1MET31W (1.16 )",
    "OS\tDebian GNU/Linux 12 (bookworm) 12.8, kernel 6.1.0-28-amd64",
    "NIC\tIntel Corporation Wireless 8265 / 8275",
    "NIC\tIntel Corporation Ethernet Connection (4) I219-LM",
};

// The laptop fixture and the uninstall list have three programs, two printers and two network
// adapters.
const uploads::ItemCounts kLaptopItems = {{"sftdata.asp", 3}, {"printdata.asp", 2}, {"NICdata.asp", 2}};

class CollectorAgainstService : public ::testing::Test {
protected:
    ScratchDir dir{"e2e"};
    process::DataService service{dir.file("service.db")};
    fakes::TestPlatform fake;
    std::unique_ptr<platform::RecordSource> records;
    std::unique_ptr<platform::Instrumentation> instrumentation;
    std::unique_ptr<platform::Platform> bundle;
    std::unique_ptr<app::Program> program;

    void SetUp() override {
        if (!process::dataServiceAvailable()) GTEST_SKIP() << "vantrel-dataservice was not built";
        EXPECT_EQ(service.command({"add-account", "alice", "s3cret pw&="}).status, 0);
        ASSERT_NO_THROW(service.start());

        records = platform::makeHttpRecordSource();
        instrumentation = platform::makeInstrumentationAt(std::string(VANTREL_FIXTURES_DIR) + "/machines/laptop");
        bundle = std::make_unique<platform::Platform>(platform::Platform{fake.registry, *instrumentation, *records,
                                                                         fake.shell, fake.guids, fake.network,
                                                                         fake.ui, fake.windows});
        fake.registry.SetString("Software\\Vantrel", "ServerPath", service.address());
        AddProgram("Editor", "Editor", "2.1");
        AddProgram("Nameless", std::nullopt, "3.0");
        AddProgram("Viewer", "Viewer", std::nullopt);
        AddProgram("Zcafe", "Caf\xC3\xA9 & Co", "1.0+b=2");

        program = std::make_unique<app::Program>(*bundle);
        program->Start();
        ASSERT_NE(program->Controller(), nullptr);
    }

    void TearDown() override {
        program.reset();
        records.reset();  // its kept-alive connection first, then the server
        service.stop();
    }

    void AddProgram(const std::string& subkey, std::optional<std::string> name, std::optional<std::string> version) {
        fake.registry.AddSubkey(kUninstall, subkey);
        const std::string path = std::string(kUninstall) + "\\" + subkey;
        if (name) fake.registry.SetString(path, "DisplayName", *name);
        if (version) fake.registry.SetString(path, "DisplayVersion", *version);
    }

    wizard::CWizard& W() { return program->Controller()->WizardHandle(); }

    signin::Page2& SignInPage() {
        auto* page = dynamic_cast<signin::Page2*>(W().PageHandle(std::string("Two")).get());
        EXPECT_NE(page, nullptr);
        return *page;
    }

    std::string Progress() {
        QWidget* form = W().CurrentPageForm();
        auto* label = form ? form->findChild<QLabel*>("Label2") : nullptr;
        return label ? label->text().toStdString() : "<none>";
    }

    // From the progress page to the finish page, then Finish; the window must close.
    void FinishWizard() {
        QSignalSpy closed(&W(), &wizard::CWizard::closed);
        W().cmdStepFwd()->click();
        EXPECT_EQ(W().CurrentStep(), 4);
        W().cmdTerminate()->click();
        EXPECT_EQ(closed.count(), 1);
        EXPECT_FALSE(W().isVisible());
    }
};

TEST_F(CollectorAgainstService, ASubscribersRunStoresEveryItemInOrderAndEndsWithFinalize) {
    W().cmdStepFwd()->click();  // welcome -> sign-in, after the connectivity test
    ASSERT_EQ(W().CurrentStep(), 2);
    SignInPage().Text1()->setText("alice");
    SignInPage().Text2()->setText("s3cret pw&=");
    W().cmdStepFwd()->click();  // the account check, then the run inside step 3
    ASSERT_EQ(W().CurrentStep(), 3);
    EXPECT_EQ(Progress(), "Your Hardware and Software Collection Is Complete");
    EXPECT_TRUE(fake.ui.shown.empty()) << fake.ui.shown.front().text;
    FinishWizard();

    records.reset();
    service.stop();
    EXPECT_THAT(service.journalPages(), ElementsAreArray(uploads::SubscriberRun(kLaptopItems)));
    EXPECT_THAT(service.items("alice"), ElementsAreArray(kStoredItems));
}

TEST_F(CollectorAgainstService, AnEvaluatingUsersRunUsesTheTwinsAndNoClosingRequest) {
    W().cmdStepFwd()->click();
    ASSERT_EQ(W().CurrentStep(), 2);
    SignInPage().Option1(1)->click();
    ASSERT_FALSE(program->State().IsSubscriber);
    W().cmdStepFwd()->click();  // registers the evaluation identity, then the run
    ASSERT_EQ(W().CurrentStep(), 3);
    const std::string evalId = program->State().EvalID;
    ASSERT_EQ(evalId.size(), 9u);
    EXPECT_EQ(Progress(), "The Hardware and Software Collection Is Complete. Your evaluation Username is " + evalId +
                              ". Please write down this username now.");
    FinishWizard();

    records.reset();
    service.stop();
    EXPECT_THAT(service.journalPages(), ElementsAreArray(uploads::EvaluationRun(kLaptopItems)));
    EXPECT_THAT(service.items(evalId), ElementsAreArray(kStoredItems));
}

TEST_F(CollectorAgainstService, AnUninstallEntryArrivesWithItsVersionAfterAOneLetterMark) {
    W().cmdStepFwd()->click();
    SignInPage().Text1()->setText("alice");
    SignInPage().Text2()->setText("s3cret pw&=");
    W().cmdStepFwd()->click();
    ASSERT_EQ(W().CurrentStep(), 3);

    records.reset();
    service.stop();
    const std::vector<std::string> items = service.items("alice");
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.front(), "Software\tEditor v2.1");
    EXPECT_EQ(std::count(items.begin(), items.end(), "Software\tEditor v2.1"), 1);
}

}  // namespace
