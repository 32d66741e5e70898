// vantrel-collect over fakes: for each way its session can end, the exit status, the pages requested
// in order, the final text and the message; the command line; progress lines; the dry run. The
// session's other variations are in tests/session.
#include <chrono>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "collect/collect.h"
#include "platform/common/errors.h"
#include "tests/support/fakes.h"
#include "tests/support/upload_pages.h"

namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kServer = "http://127.0.0.1:8080/vantrel/";

const std::vector<std::string> kSubscriberPages = uploads::SubscriberRun(uploads::kTwoPrograms);
const std::vector<std::string> kEvaluationPages = uploads::EvaluationRun(uploads::kTwoPrograms);

const std::string kComplete = "Your Hardware and Software Collection Is Complete\n";
const std::string kEvalComplete =
    "The Hardware and Software Collection Is Complete. Your evaluation Username is Eval2B3C4. Please write down "
    "this username now.\n";
const std::string kAdvice = " Please check your connection to the Internet and run Vantrel Collector again.\n";

// A machine with two programs and one instance of every category, and a service whose answers
// the case chooses.
class Machine {
public:
    fakes::Registry registry;
    fakes::Instrumentation instrumentation;
    fakes::RecordSource records;
    fakes::GuidSource guids;
    fakes::Network network;
    int versionRecords = 1;  // -1: the request fails
    int accountRecords = 1;
    std::set<std::string> failingPages;
    std::set<std::string> busyPages;  // answered "busy, come back at once", always
    std::string out, err;
    std::string serverPath = kServer;

    Machine() {
        registry.SetString("Software\\Vantrel", "ServerPath", kServer);
        AddProgram("Editor", "Editor", "2.1");
        AddProgram("Viewer", "Viewer", "");
        Add("win32_sounddevice", {{"Name", "HD Audio"}});
        Add("win32_videocontroller", {{"Name", "VGA"}, {"DriverVersion", "1.0"}});
        Add("win32_printer", {{"DriverName", "Generic PS"}});
        Add("win32_computersystem", {{"Manufacturer", "Acme"}, {"Model", "Box 9"}});
        Add("win32_bios", {{"SMBIOSBIOSVersion", "B1.2"}});
        Add("win32_operatingsystem", {{"Name", "Debian GNU/Linux 12|/usr|/dev/sda1"}, {"CSDVersion", "SP1"}});
        Add("win32_networkadapter", {{"Name", "eth0"}});
        records.fallback = [this](const std::string& address) { return Answer(address); };
    }

    void AddProgram(const std::string& subkey, const std::string& name, const std::string& version) {
        registry.AddSubkey(kUninstall, subkey);
        const std::string path = std::string(kUninstall) + "\\" + subkey;
        registry.SetString(path, "DisplayName", name);
        if (!version.empty()) registry.SetString(path, "DisplayVersion", version);
    }
    void Add(const std::string& cls, fakes::Instrumentation::Props props) {
        instrumentation.classes[cls].push_back(std::move(props));
    }

    static std::string PageOf(const std::string& address, const std::string& base) {
        std::string rest = address.rfind(base, 0) == 0 ? address.substr(base.size()) : "<elsewhere>" + address;
        return rest.substr(0, rest.find('?'));
    }

    platform::RecordSet Answer(const std::string& address) {
        const std::string page = PageOf(address, serverPath);
        if (failingPages.count(page)) throw platform::PlatformError("no answer");
        if (busyPages.count(page)) throw platform::ServiceBusy("busy", 503, std::chrono::seconds(0));
        auto rows = [](int n, std::vector<platform::FieldValue> row) {
            if (n < 0) throw platform::PlatformError("no answer");
            return platform::RecordSet({"a", "b", "c"}, std::vector<std::vector<platform::FieldValue>>(n, row));
        };
        if (page == "getversion.asp") return rows(versionRecords, {std::string("1"), 0.0, 0.0});
        if (page == "getdata.asp")
            return rows(accountRecords, {std::string("alice"), platform::Date{45000.0}, platform::Date{45100.5}});
        return {};
    }

    int Run(std::vector<std::string> args, const std::string& input = "pa ss&word\n") {
        std::istringstream in(input);
        std::ostringstream o, e;
        const int status = collect::Main(args, {registry, instrumentation, records, guids, network}, {in, o, e});
        out = o.str();
        err = e.str();
        return status;
    }

    std::vector<std::string> RequestedPages() const {
        std::vector<std::string> pages;
        for (const std::string& address : records.requested) pages.push_back(PageOf(address, serverPath));
        return pages;
    }
};

struct Outcome {
    const char* name;
    std::vector<std::string> args;
    void (*arrange)(Machine&);
    int status;
    std::vector<std::string> pages;
    std::string out;
    std::string errHas;  // a part of the message on standard error; empty: none expected
};

void Nothing(Machine&) {}

std::ostream& operator<<(std::ostream& os, const Outcome& o) { return os << o.name; }

const std::vector<Outcome> kOutcomes = {
    {"SubscriberComplete", {"--user", "alice", "--quiet"}, Nothing, 0, kSubscriberPages, kComplete, ""},
    {"EvaluatingComplete", {"--evaluating", "--quiet"}, Nothing, 0, kEvaluationPages, kEvalComplete, ""},
    {"VersionRefused", {"--user", "alice"}, [](Machine& m) { m.versionRecords = 0; }, 3, {"getversion.asp"}, "",
     "You are running Vantrel Collector v1.1.10. Go to http://www.vantrelnet.example/download/downloadnow.asp and "
     "download the most current version, Vantrel Collector v1.1.11.\n"},
    {"AccountRefused", {"--user", "alice"}, [](Machine& m) { m.accountRecords = 0; }, 3,
     {"getversion.asp", "getdata.asp"}, "",
     "The username and/or the password you enetered are not valid. Please enter a valid username and password to "
     "continue. If you feel this error is invalid please visit http://www.vantrelnet.example to verify that you have "
     "the correct username and password.\n"},
    {"AccountCheckUnanswered", {"--user", "alice"}, [](Machine& m) { m.accountRecords = -1; }, 1,
     {"getversion.asp", "getdata.asp"}, "", "could not be reached to check your username and password"},
    {"OneUploadFails", {"--user", "alice", "--quiet"}, [](Machine& m) { m.failingPages = {"sounddata.asp"}; }, 1,
     kSubscriberPages,
     "Your Hardware and Software Collection Is Not Complete. The upload did not complete: 1 of 11 items could not "
     "be sent." + kAdvice, ""},
    {"EvaluationNotRegistered", {"--evaluating", "--quiet"}, [](Machine& m) { m.failingPages = {"gettemp.asp"}; }, 1,
     kEvaluationPages,
     "The Hardware and Software Collection Is Not Complete. Your evaluation Username could not be registered with "
     "the VantrelNet service." + kAdvice, ""},
    // Without patience the busy upload fails at once; the run is made once more, and fails again.
    {"ARunFailedForABusyServiceIsMadeOnceMore", {"--user", "alice", "--quiet", "--busy-wait", "0"},
     [](Machine& m) { m.busyPages = {"NICdata.asp"}; }, 1,
     [] {
         auto twice = kSubscriberPages;
         twice.push_back("updatedata.asp");
         return uploads::RunPages(twice, "", true, uploads::kTwoPrograms);
     }(),
     "Your Hardware and Software Collection Is Not Complete. The upload did not complete: 1 of 11 items could not "
     "be sent." + kAdvice, "The VantrelNet service was busy: the collection runs once more in 0 seconds.\n"},
    {"BusyWaitNeedsSeconds", {"--user", "alice", "--busy-wait", "soon"}, Nothing, 2, {}, "",
     "--busy-wait needs a number of seconds"},
    {"NoNetworkAddress", {"--user", "alice"}, [](Machine& m) { m.network.address = std::string(); }, 1,
     {"getversion.asp"}, "", "You are not currently connected to Internet."},
    {"NoInstrumentation", {"--user", "alice"}, [](Machine& m) { m.instrumentation.connectFails = true; }, 1,
     {"getversion.asp", "getdata.asp"}, "",
     "WMI Failed To Load: Unable to load WMI. Please read the Vantrel Collector FAQ at "
     "http://www.vantrelnet.example/download/FAQ.asp to troubleshoot this problem."},
    {"ServerOptionOverridesTheSetting", {"--server", "http://192.0.2.7:81/v", "--evaluating", "--quiet"},
     [](Machine& m) { m.serverPath = "http://192.0.2.7:81/v/"; }, 0, kEvaluationPages, kEvalComplete, ""},
    {"NoServerPath", {"--user", "alice"}, [](Machine& m) { m.registry.SetString("Software\\Vantrel", "ServerPath", ""); }, 2, {}, "",
     "no data service address"},
    {"NoPasswordLine", {"--user", "alice"}, [](Machine&) {}, 2, {}, "", "no password on standard input"},
    {"NoMode", {"--quiet"}, Nothing, 2, {}, "", "give --user NAME or --evaluating"},
    {"BothModes", {"--user", "alice", "--evaluating"}, Nothing, 2, {}, "", "exclude each other"},
    {"UserWithoutName", {"--user"}, Nothing, 2, {}, "", "--user needs a username"},
    {"PasswordOnTheCommandLine", {"--user", "alice", "--password=x"}, Nothing, 2, {}, "", "never from the command line"},
    {"UnknownArgument", {"--evaluating", "--verbose"}, Nothing, 2, {}, "", "unknown argument: --verbose"},
};

class CollectOutcome : public ::testing::TestWithParam<Outcome> {};

TEST_P(CollectOutcome, EndsWithItsStatusPagesAndTexts) {
    const Outcome& o = GetParam();
    Machine m;
    o.arrange(m);
    const std::string input = std::string(o.name) == "NoPasswordLine" ? "" : "pa ss&word\n";
    EXPECT_EQ(m.Run(o.args, input), o.status) << m.err;
    EXPECT_THAT(m.RequestedPages(), ElementsAreArray(o.pages));
    EXPECT_EQ(m.out, o.out);
    if (o.errHas.empty())
        EXPECT_EQ(m.err, "");
    else
        EXPECT_THAT(m.err, HasSubstr(o.errHas));
    // The password travels in the account check and the subscriber's uploads only, never elsewhere.
    for (const std::string& address : m.records.requested) {
        if (address.find("PWD=") != std::string::npos) {
            EXPECT_NE(address.find("PWD=pa%20ss%26word"), std::string::npos) << address;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Outcomes, CollectOutcome, ::testing::ValuesIn(kOutcomes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CollectRun, ProgressLinesAreThePageTextsEachOnceWithTheFinalTextOnStandardOutput) {
    Machine m;
    m.AddProgram("Nameless", "", "3.0");  // sends nothing, so the last program's text stays
    ASSERT_EQ(m.Run({"--user", "alice"}, "pa ss&word\r\n"), 0) << m.err;
    EXPECT_EQ(m.err,
              "Deleting your current VantrelNet Profile\n"
              "Uploading Software Information...\n"
              "Uploading Software Information...Editor v2.1\n"
              "Uploading Software Information...Viewer\n"
              "Uploading Sound Card Information...HD Audio\n"
              "Uploading Video Card Information...VGA 1.0\n"
              "Uploading Printer Information...Generic PS\n"
              "Uploading Computer Make and Model Information...Acme Box 9\n"
              "Uploading BIOS Information...Acme Box 9 B1.2\n"
              "Uploading Operating System Information...Debian GNU/Linux 12 SP1\n"
              "Uploading Network Card Information...eth0\n");
    EXPECT_EQ(m.out, kComplete);
    // A carriage return before the newline is not part of the password.
    EXPECT_THAT(m.records.requested.back(), HasSubstr("&PWD=pa%20ss%26word"));
    EXPECT_EQ(m.records.requested.back().substr(m.records.requested.back().size() - 4), "word");
}

TEST(CollectDryRun, PrintsEveryRequestAsJsonSendsNothingAndReadsNoPassword) {
    Machine m;
    m.AddProgram("Quote", "Say \"hi\"\\ \x01 caf\xC3\xA9 \xFF", "");
    ASSERT_EQ(m.Run({"--user", "alice", "--dry-run", "--quiet"}, ""), 0) << m.err;
    EXPECT_TRUE(m.records.requested.empty());
    EXPECT_EQ(m.err, "");
    std::vector<std::string> lines;
    std::istringstream s(m.out);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 14u) << m.out;
    EXPECT_EQ(lines[0], "{\"page\":\"getversion.asp\",\"Major\":\"1\",\"Minor\":\"1\",\"Rev\":\"11\"}");
    EXPECT_EQ(lines[1], "{\"page\":\"getdata.asp\",\"UID\":\"alice\",\"PWD\":\"********\"}");
    EXPECT_EQ(lines[3], "{\"page\":\"sftdata.asp\",\"UID\":\"alice\",\"qIS\":\"Editor v2.1\",\"PWD\":\"********\"}");
    // Quotes and backslashes escaped, control characters as \u, bytes that are not UTF-8 as U+FFFD.
    EXPECT_EQ(lines[4], "{\"page\":\"sftdata.asp\",\"UID\":\"alice\",\"qIS\":\"Say \\\"hi\\\"\\\\ \\u0001 caf\xC3\xA9 "
                        "\xEF\xBF\xBD\",\"PWD\":\"********\"}");
    EXPECT_THAT(lines[12], HasSubstr("\"NIC\":\"eth0\""));
    EXPECT_EQ(lines[13], "{\"page\":\"finalize.asp\",\"UID\":\"alice\",\"PWD\":\"********\"}");
}

TEST(CollectDryRun, AnEvaluatingDryRunNamesTheIdentityItWouldRegister) {
    Machine m;
    m.registry.SetString("Software\\Vantrel", "ServerPath", "");  // a dry run needs none
    ASSERT_EQ(m.Run({"--evaluating", "--dry-run", "--quiet"}, ""), 0) << m.err;
    EXPECT_TRUE(m.records.requested.empty());
    EXPECT_THAT(m.out, HasSubstr("{\"page\":\"gettemp.asp\",\"TempID\":\"Eval2B3C4\"}\n"
                                 "{\"page\":\"evalupdatedata.asp\",\"UID\":\"Eval2B3C4\"}\n"));
    EXPECT_EQ(m.out.find("PWD"), std::string::npos);
}

}  // namespace
