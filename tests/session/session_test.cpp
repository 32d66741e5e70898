// Whole sessions over fakes, as a front end drives them: settings, version check, connectivity,
// account check or evaluation registration, the run. For each way a session can go, the pages
// requested in order, what the user was told and the final text. The wizard's window behaviour is
// in tests/signin and tests/inventory, vantrel-collect's streams and statuses in tests/collect.
#include <chrono>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/common/errors.h"
#include "session/session.h"
#include "tests/support/fakes.h"
#include "tests/support/upload_pages.h"

namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kServer = "http://127.0.0.1:8080/vantrel/";
const std::string kAdvice = " Please check your connection to the Internet and run Vantrel Collector again.";

const std::vector<std::string> kSubscriberPages = uploads::SubscriberRun(uploads::kTwoPrograms);
const std::vector<std::string> kEvaluationPages = uploads::EvaluationRun(uploads::kTwoPrograms);

class RecordingPrompter : public session::Prompter {
public:
    void Tell(const std::string& text) override { told.push_back(text); }
    bool CloseRequestedMeanwhile() override { return closes; }
    bool WaitWhileBusy(std::chrono::milliseconds delay) override {
        waits.push_back(delay);
        return true;
    }
    std::vector<std::string> told;
    std::vector<std::chrono::milliseconds> waits;
    bool closes = false;
};

class RecordingSink : public inventory::ProgressSink {
public:
    void SetFrozen(bool frozen) override { frozenCalls.push_back(frozen); }
    void Yield() override {}
    void Wait(std::chrono::milliseconds delay) override { waits.push_back(delay); }
    void SetProgressText(const std::string& text) override { progress.push_back(text); }
    void SetFinalText(const std::string& text) override { finalText = text; }
    void InstrumentationUnavailable(const std::string& title, const std::string& text) override {
        unavailable = title + ": " + text;
    }
    std::vector<bool> frozenCalls;
    std::vector<std::chrono::milliseconds> waits;
    std::vector<std::string> progress;
    std::string finalText, unavailable;
};

// A machine with two programs and one instance of every category, and a service whose answers
// the case chooses.
struct Machine {
    fakes::Registry registry;
    fakes::Instrumentation instrumentation;
    fakes::RecordSource records;
    fakes::GuidSource guids;
    fakes::Network network;
    int versionRecords = 1;  // -1: the request fails
    int accountRecords = 1;
    std::set<std::string> failingPages;
    std::map<std::string, int> busy;  // page -> times it answers "busy, come back in 2 s" first
    RecordingPrompter prompter;
    RecordingSink sink;

    Machine() {
        registry.SetString("Software\\Vantrel", "ServerPath", kServer);
        for (const auto& [name, version] : {std::pair{"Editor", "2.1"}, std::pair{"Viewer", ""}}) {
            registry.AddSubkey(kUninstall, name);
            registry.SetString(std::string(kUninstall) + "\\" + name, "DisplayName", name);
            if (*version) registry.SetString(std::string(kUninstall) + "\\" + name, "DisplayVersion", version);
        }
        Add("win32_sounddevice", {{"Name", "HD Audio"}});
        Add("win32_videocontroller", {{"Name", "VGA"}, {"DriverVersion", "1.0"}});
        Add("win32_printer", {{"DriverName", "Generic PS"}});
        Add("win32_computersystem", {{"Manufacturer", "Acme"}, {"Model", "Box 9"}});
        Add("win32_bios", {{"SMBIOSBIOSVersion", "B1.2"}});
        Add("win32_operatingsystem", {{"Name", "Debian GNU/Linux 12|/usr|/dev/sda1"}, {"CSDVersion", "SP1"}});
        Add("win32_networkadapter", {{"Name", "eth0"}});
        records.fallback = [this](const std::string& address) { return Answer(address); };
    }
    void Add(const std::string& cls, fakes::Instrumentation::Props props) {
        instrumentation.classes[cls].push_back(std::move(props));
    }

    static std::string PageOf(const std::string& address) {
        const std::string base = kServer;
        std::string rest = address.rfind(base, 0) == 0 ? address.substr(base.size()) : "<elsewhere>" + address;
        return rest.substr(0, rest.find('?'));
    }
    platform::RecordSet Answer(const std::string& address) {
        const std::string page = PageOf(address);
        if (failingPages.count(page)) throw platform::PlatformError("no answer");
        if (auto b = busy.find(page); b != busy.end() && b->second > 0) {
            --b->second;
            throw platform::ServiceBusy("busy", 503, std::chrono::seconds(2));
        }
        auto rows = [](int n, std::vector<platform::FieldValue> row) {
            if (n < 0) throw platform::PlatformError("no answer");
            return platform::RecordSet({"a", "b", "c"}, std::vector<std::vector<platform::FieldValue>>(n, row));
        };
        if (page == "getversion.asp") return rows(versionRecords, {std::string("1"), 0.0, 0.0});
        if (page == "getdata.asp")
            return rows(accountRecords, {std::string("alice"), platform::Date{45000.0}, platform::Date{45100.5}});
        return {};
    }
    std::vector<std::string> RequestedPages() const {
        std::vector<std::string> pages;
        for (const std::string& address : records.requested) pages.push_back(PageOf(address));
        return pages;
    }
};

// Where a session stopped before its run, or "run".
std::string Drive(Machine& m, bool subscriber, session::Session& s) {
    s.ReadSettings();
    s.Values().IsSubscriber = subscriber;
    s.Values().UserName = "alice";
    s.Values().UserPassword = "pa ss&word";
    if (s.CheckVersion(m.prompter) == session::VersionOutcome::Refused) return "version refused";
    if (!s.ConnectivityTest(m.prompter)) return "not connected";
    if (subscriber) {
        const session::AccountOutcome account = s.CheckAccount(m.prompter);
        if (account == session::AccountOutcome::Refused) return "account refused";
        if (account == session::AccountOutcome::Unreachable) return "account unreachable";
        if (account == session::AccountOutcome::Closed) return "closed";
    } else if (!s.RegisterEvaluation(m.prompter)) {
        return "closed";
    }
    s.Run(m.sink);
    return "run";
}

struct Case {
    const char* name;
    bool subscriber;
    void (*arrange)(Machine&);
    std::string stopped;
    std::vector<std::string> pages;
    std::string toldHas;  // a part of the one message told; empty: nothing told
    std::string finalText;
};
std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.name; }

void Nothing(Machine&) {}

const std::vector<Case> kCases = {
    {"SubscriberComplete", true, Nothing, "run", kSubscriberPages, "",
     "Your Hardware and Software Collection Is Complete"},
    {"EvaluatingComplete", false, Nothing, "run", kEvaluationPages, "",
     "The Hardware and Software Collection Is Complete. Your evaluation Username is Eval2B3C4. Please write down "
     "this username now."},
    {"VersionRefused", true, [](Machine& m) { m.versionRecords = 0; }, "version refused", {"getversion.asp"},
     "You are running Vantrel Collector v1.1.10. Go to http://www.vantrelnet.example/download/downloadnow.asp and "
     "download the most current version, Vantrel Collector v1.1.11.", ""},
    {"VersionCheckUnansweredGoesOn", true, [](Machine& m) { m.versionRecords = -1; }, "run", kSubscriberPages, "",
     "Your Hardware and Software Collection Is Complete"},
    {"NoNetworkAddress", true, [](Machine& m) { m.network.address = std::string(); }, "not connected",
     {"getversion.asp"}, "You are not currently connected to Internet.", ""},
    {"OnlyLoopback", false, [](Machine& m) { m.network.address = std::string("127.0.0.1"); }, "not connected",
     {"getversion.asp"}, "You are not currently connected to Internet.", ""},
    {"AccountRefused", true, [](Machine& m) { m.accountRecords = 0; }, "account refused",
     {"getversion.asp", "getdata.asp"},
     "The username and/or the password you enetered are not valid. Please enter a valid username and password to "
     "continue. If you feel this error is invalid please visit http://www.vantrelnet.example to verify that you have "
     "the correct username and password.", ""},
    {"AccountTwiceIsNoAccount", true, [](Machine& m) { m.accountRecords = 2; }, "account refused",
     {"getversion.asp", "getdata.asp"}, "are not valid", ""},
    {"AccountCheckUnanswered", true, [](Machine& m) { m.accountRecords = -1; }, "account unreachable",
     {"getversion.asp", "getdata.asp"},
     "The VantrelNet service could not be reached to check your username and password. Please check your "
     "connection to the Internet and try again. If the problem continues please visit "
     "http://www.vantrelnet.example.", ""},
    {"ServiceDown", true, [](Machine& m) { m.records.down = true; }, "account unreachable",
     {"getversion.asp", "getdata.asp"}, "could not be reached", ""},
    {"ClosedDuringTheAccountCheck", true, [](Machine& m) { m.prompter.closes = true; }, "closed",
     {"getversion.asp", "getdata.asp"}, "", ""},
    {"ClosedDuringTheRegistration", false, [](Machine& m) { m.prompter.closes = true; }, "closed",
     {"getversion.asp", "gettemp.asp"}, "", ""},
    {"OneUploadFails", true, [](Machine& m) { m.failingPages = {"sounddata.asp"}; }, "run", kSubscriberPages, "",
     "Your Hardware and Software Collection Is Not Complete. The upload did not complete: 1 of 11 items could not "
     "be sent." + kAdvice},
    {"SomeFailedRequestsAreCounted", true, [](Machine& m) { m.failingPages = {"videodata.asp", "sftdata.asp"}; },
     "run", kSubscriberPages, "",
     "Your Hardware and Software Collection Is Not Complete. The upload did not complete: 3 of 11 items could not "
     "be sent." + kAdvice},
    {"AnIncompleteEvaluationNamesNoUsername", false, [](Machine& m) { m.failingPages = {"evalNICdata.asp"}; }, "run",
     kEvaluationPages, "",
     "The Hardware and Software Collection Is Not Complete. The upload did not complete: 1 of 10 items could not "
     "be sent." + kAdvice},
    {"EvaluationNotRegistered", false, [](Machine& m) { m.failingPages = {"gettemp.asp"}; }, "run", kEvaluationPages,
     "", "The Hardware and Software Collection Is Not Complete. Your evaluation Username could not be registered "
     "with the VantrelNet service." + kAdvice},
    {"UnregisteredAndFailedItemsAreBothTold", false,
     [](Machine& m) { m.failingPages = {"gettemp.asp", "evalupdatedata.asp"}; }, "run", kEvaluationPages, "",
     "The Hardware and Software Collection Is Not Complete. The upload did not complete: 1 of 10 items could not "
     "be sent. Your evaluation Username could not be registered with the VantrelNet service." + kAdvice},
};

class WholeSession : public ::testing::TestWithParam<Case> {};

TEST_P(WholeSession, RequestsTellsAndEndsAsItsCaseSays) {
    const Case& c = GetParam();
    Machine m;
    c.arrange(m);
    session::Session s({m.registry, m.instrumentation, m.records, m.guids, m.network});
    EXPECT_EQ(Drive(m, c.subscriber, s), c.stopped);
    EXPECT_THAT(m.RequestedPages(), ElementsAreArray(c.pages));
    if (c.toldHas.empty()) {
        EXPECT_THAT(m.prompter.told, IsEmpty());
    } else {
        ASSERT_EQ(m.prompter.told.size(), 1u);
        EXPECT_THAT(m.prompter.told[0], HasSubstr(c.toldHas));
    }
    EXPECT_EQ(m.sink.finalText, c.finalText);
    if (c.stopped == "run") {
        EXPECT_EQ(m.sink.frozenCalls, (std::vector<bool>{true, false}));
    }
    // The password travels in the account check and the subscriber's uploads only, never elsewhere.
    for (const std::string& address : m.records.requested) {
        if (address.find("PWD=") != std::string::npos) {
            EXPECT_THAT(address, HasSubstr("PWD=pa%20ss%26word"));
        }
    }
    EXPECT_EQ(m.registry.openHandles, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, WholeSession, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A service that answers "busy" is waited out as it advises, within a minute a request; what
// stays busy counts as not answered, never as a refused account or a stored item.
constexpr std::size_t kUntilTheBound = 99;

struct BusyCase {
    const char* name;
    std::map<std::string, int> busy;
    std::string stopped;
    std::size_t promptWaits, runWaits;
    std::string toldHas, finalHas;
};
std::ostream& operator<<(std::ostream& os, const BusyCase& c) { return os << c.name; }

class BusyService : public ::testing::TestWithParam<BusyCase> {};

TEST_P(BusyService, IsWaitedOutAndWhatStaysBusyIsNotAnswered) {
    const BusyCase& c = GetParam();
    Machine m;
    m.busy = c.busy;
    session::Session s({m.registry, m.instrumentation, m.records, m.guids, m.network});
    EXPECT_EQ(Drive(m, true, s), c.stopped);
    // Until the bound: as many waits of 2 to 2.5 s as fit in a minute.
    const auto expectWaits = [](std::size_t n, std::size_t wanted) {
        if (wanted == kUntilTheBound) {
            EXPECT_GE(n, 24u);
            EXPECT_LE(n, 30u);
        } else {
            EXPECT_EQ(n, wanted);
        }
    };
    expectWaits(m.prompter.waits.size(), c.promptWaits);
    expectWaits(m.sink.waits.size(), c.runWaits);
    std::chrono::milliseconds waited{0};
    for (const auto w : m.prompter.waits) {
        EXPECT_GE(w, std::chrono::seconds(2));  // as advised, with at most half a second more
        EXPECT_LE(w, std::chrono::milliseconds(2500));
        waited += w;
    }
    EXPECT_LE(waited, std::chrono::seconds(60));
    if (c.runWaits) {
        EXPECT_THAT(m.sink.progress, ::testing::Contains(HasSubstr("The VantrelNet service is busy. Trying again in ")));
    }
    if (c.toldHas.empty()) {
        EXPECT_THAT(m.prompter.told, IsEmpty());
    } else {
        EXPECT_THAT(m.prompter.told, ElementsAreArray({HasSubstr(c.toldHas)}));
    }
    EXPECT_THAT(m.sink.finalText, HasSubstr(c.finalHas));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BusyService,
    ::testing::Values(
        BusyCase{"BusyTwiceThenAccepted", {{"getdata.asp", 2}, {"sounddata.asp", 1}}, "run", 2, 1, "",
                 "Your Hardware and Software Collection Is Complete"},
        BusyCase{"AccountCheckStaysBusy", {{"getdata.asp", 1000}}, "account unreachable", kUntilTheBound, 0, "could not be reached",
                 ""},
        BusyCase{"AnUploadStaysBusy", {{"NICdata.asp", 1000}}, "run", 0, kUntilTheBound, "",
                 "1 of 11 items could not be sent"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SessionValues, TheAccountsDatesGoIntoTheProfileReset) {
    Machine m;
    session::Session s({m.registry, m.instrumentation, m.records, m.guids, m.network});
    ASSERT_EQ(Drive(m, true, s), "run");
    EXPECT_EQ(s.Values().ServerPath, kServer);
    EXPECT_EQ(s.Values().ProfileCrDate, platform::Date{45000.0});
    EXPECT_EQ(s.Values().ProfileLuDate, platform::Date{45100.5});
    ASSERT_GE(m.records.requested.size(), 3u);
    EXPECT_EQ(m.records.requested[2], service::BuildAddress(kServer, service::ProfileResetRequest(
                                                                         s.Values().Who(), platform::Date{45000.0},
                                                                         platform::Date{45100.5})));
}

TEST(SessionValues, WithoutInstrumentationNothingIsUploaded) {
    Machine m;
    m.instrumentation.connectFails = true;
    session::Session s({m.registry, m.instrumentation, m.records, m.guids, m.network});
    EXPECT_EQ(Drive(m, true, s), "run");
    EXPECT_THAT(m.RequestedPages(), ElementsAreArray({"getversion.asp", "getdata.asp"}));
    EXPECT_EQ(m.sink.unavailable,
              "WMI Failed To Load: Unable to load WMI. Please read the Vantrel Collector FAQ at "
              "http://www.vantrelnet.example/download/FAQ.asp to troubleshoot this problem. This program will "
              "terminate once you click OK. You can relaunch Vantrel Collector once you have installed WMI.");
    EXPECT_EQ(m.sink.finalText, "");
}

}  // namespace
