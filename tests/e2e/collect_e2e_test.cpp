// vantrel-collect as a program against the reference data service: the fixture laptop and the
// fixture package database below a root of their own, the settings in a hive file; then what the
// service journalled and stored, beside what --dry-run said it would send.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/dataservice_process.h"
#include "tests/support/scratch_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAreArray;

// The laptop's hardware as the service stores it, after the programs.
const std::vector<std::string> kHardware = {
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

struct Ran {
    int status = -1;  // -1: killed after the time allowed
    std::string out, err;
};

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class CollectAgainstService : public ::testing::Test {
protected:
    ScratchDir scratch{"collect-e2e"};
    process::DataService service{scratch.file("service.db")};

    void SetUp() override {
        if (!process::dataServiceAvailable() || std::string(VANTREL_COLLECT_BIN).empty())
            GTEST_SKIP() << "vantrel-dataservice or vantrel-collect was not built";
        EXPECT_EQ(service.command({"add-account", "alice", "s3cret pw&="}).status, 0);
        ASSERT_NO_THROW(service.start());
        // The laptop, with the fixture package database as its installed programs.
        const fs::path root = scratch.path() / "root";
        fs::copy(fs::path(VANTREL_FIXTURES_DIR) / "machines/laptop", root, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        fs::copy(fs::path(VANTREL_FIXTURES_DIR) / "dpkg", root, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        scratch.write("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                                      "[HKEY_LOCAL_MACHINE\\Software\\Vantrel]\r\n"
                                      "\"ServerPath\"=\"" + service.address() + "\"\r\n");
    }

    void TearDown() override { service.stop(); }

    // Runs the program to its end (at most a minute) with `input` on its standard input.
    Ran Run(const std::vector<std::string>& args, const std::string& input) {
        const fs::path in = scratch.write("stdin", input), out = scratch.path() / "stdout",
                       err = scratch.path() / "stderr";
        std::vector<std::string> env{"VANTREL_REGISTRY=" + (scratch.path() / "registry.reg").string(),
                                     "VANTREL_SYSROOT=" + (scratch.path() / "root").string()};
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("VANTREL_", 0) != 0) env.emplace_back(*e);
        std::vector<std::string> argv{VANTREL_COLLECT_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv, cenv;
        for (auto& a : argv) cargv.push_back(a.data());
        cargv.push_back(nullptr);
        for (auto& e : env) cenv.push_back(e.data());
        cenv.push_back(nullptr);
        const int fin = ::open(in.c_str(), O_RDONLY | O_CLOEXEC);
        const int fout = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int ferr = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(fin, 0);
            ::dup2(fout, 1);
            ::dup2(ferr, 2);
            ::execve(cargv[0], cargv.data(), cenv.data());
            ::_exit(127);
        }
        ::close(fin);
        ::close(fout);
        ::close(ferr);
        Ran ran;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int status = 0;
        for (;;) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ran.out = ReadFile(out);
        ran.err = ReadFile(err);
        return ran;
    }

    // From the dry run's lines: the pages in order, and the programs' texts.
    static void FromDryRun(const std::string& lines, std::vector<std::string>& pages, std::vector<std::string>& software) {
        std::istringstream s(lines);
        const std::regex page(R"(^\{"page":"([^"]*)\")"), program(R"("qIS":"([^"\\]*)\")");
        for (std::string line; std::getline(s, line);) {
            std::smatch m;
            if (std::regex_search(line, m, page)) pages.push_back(m[1]);
            if (std::regex_search(line, m, program)) software.push_back("Software\t" + m[1].str());
        }
    }
};

struct Who {
    const char* name;
    std::vector<std::string> args;
};

std::ostream& operator<<(std::ostream& os, const Who& w) { return os << w.name; }

class CollectRunAgainstService : public CollectAgainstService, public ::testing::WithParamInterface<Who> {};

TEST_P(CollectRunAgainstService, StoresWhatTheDryRunShowedInTheSameOrder) {
    const Who& who = GetParam();
    std::vector<std::string> dryArgs = who.args;
    dryArgs.push_back("--dry-run");
    const Ran dry = Run(dryArgs, "");
    ASSERT_EQ(dry.status, 0) << dry.err;
    std::vector<std::string> pages, software;
    FromDryRun(dry.out, pages, software);
    ASSERT_GE(software.size(), 3u) << dry.out;  // the fixture's installed packages

    const Ran ran = Run(who.args, "s3cret pw&=\n");
    ASSERT_EQ(ran.status, 0) << ran.err << ran.out;
    const bool subscriber = who.args.front() == "--user";
    std::string profile = "alice";
    if (subscriber) {
        EXPECT_EQ(ran.out, "Your Hardware and Software Collection Is Complete\n");
    } else {
        const std::regex final(
            "^The Hardware and Software Collection Is Complete\\. Your evaluation Username is (Eval[0-9A-F]{5})\\. "
            "Please write down this username now\\.\n$");
        std::smatch m;
        ASSERT_TRUE(std::regex_match(ran.out, m, final)) << ran.out;
        profile = m[1];
        // The dry run made an identity of its own; the pages are what matter.
    }
    if (std::find(who.args.begin(), who.args.end(), "--quiet") != who.args.end()) {
        EXPECT_EQ(ran.err, "");
    } else {
        EXPECT_NE(ran.err.find("Deleting your current VantrelNet Profile\n"), std::string::npos) << ran.err;
    }

    service.stop();
    EXPECT_THAT(service.journalPages(), ElementsAreArray(pages));
    std::vector<std::string> items = software;
    items.insert(items.end(), kHardware.begin(), kHardware.end());
    EXPECT_THAT(service.items(profile), ElementsAreArray(items));
}

INSTANTIATE_TEST_SUITE_P(Users, CollectRunAgainstService,
                         ::testing::Values(Who{"Subscriber", {"--user", "alice"}},
                                           Who{"Evaluating", {"--evaluating", "--quiet"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CollectAgainstService, AWrongPasswordIsRefusedWithTheWizardsMessageAndNothingIsUploaded) {
    const Ran ran = Run({"--user", "alice", "--quiet"}, "wrong\n");
    EXPECT_EQ(ran.status, 3);
    EXPECT_EQ(ran.out, "");
    EXPECT_NE(ran.err.find("The username and/or the password you enetered are not valid."), std::string::npos)
        << ran.err;
    service.stop();
    EXPECT_THAT(service.journalPages(), ElementsAreArray({"getversion.asp", "getdata.asp"}));
    EXPECT_TRUE(service.items("alice").empty());
}

TEST_F(CollectAgainstService, AServiceThatIsGoneEndsTheRunAsNotComplete) {
    const std::string base = service.address();
    service.stop();
    const Ran ran = Run({"--evaluating", "--quiet"}, "");
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_NE(ran.out.find("The Hardware and Software Collection Is Not Complete. The upload did not complete: "),
              std::string::npos)
        << ran.out;
    EXPECT_EQ(ran.out.find("Eval"), std::string::npos) << "no identity is promised for a run that was not stored";
}

}  // namespace
