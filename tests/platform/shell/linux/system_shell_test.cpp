// The desktop hand-off: xdg-open found on PATH, given the address as its one argument, started in
// a session of its own and never left behind as a child of ours.
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/common/errors.h"
#include "platform/shell/shell.h"
#include "tests/support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

class SystemShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = scratch_.path();
        const char* path = std::getenv("PATH");
        savedPath_ = path ? path : "";
    }
    void TearDown() override {
        setenv("PATH", savedPath_.c_str(), 1);
    }

    // An opener that writes its argument count, arguments, pid and session id to `record`.
    void InstallOpener() {
        const fs::path script = dir_ / "xdg-open";
        std::ofstream out(script);
        out << "#!/bin/sh\n"
               "PATH=/usr/bin:/bin\n"
               "set -- \"$#\" \"$@\"\n"
               "{ for a in \"$@\"; do printf '%s\\n' \"$a\"; done; cut -d' ' -f1,6 /proc/$$/stat; } > '"
            << (dir_ / "record.tmp").string() << "'\n"
            << "mv '" << (dir_ / "record.tmp").string() << "' '" << record().string() << "'\n";
        out.close();
        fs::permissions(script, fs::perms::owner_all);
        setenv("PATH", dir_.c_str(), 1);
    }

    fs::path record() const { return dir_ / "record"; }

    // Waits a bounded while for the opener to have run.
    std::string WaitForRecord() {
        for (int i = 0; i < 1000 && !fs::exists(record()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(record());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    ScratchDir scratch_{"shell"};
    fs::path dir_;
    std::string savedPath_;
    std::unique_ptr<platform::Shell> shell_ = platform::makeSystemShell();
};

TEST_F(SystemShellTest, HandsTheAddressOverAsOneArgumentWithoutAShell) {
    InstallOpener();
    const std::string address = "http://127.0.0.1:8080/profile/hwsw.asp?a=1&b=$(id) c;d";

    shell_->Execute(address, "Open", nullptr);

    std::istringstream lines(WaitForRecord());
    std::string count, argument, ids;
    std::getline(lines, count);
    std::getline(lines, argument);
    std::getline(lines, ids);
    EXPECT_EQ(count, "1");
    EXPECT_EQ(argument, address);
    // A session of its own: its session id is its own pid.
    std::istringstream pidAndSession(ids);
    pid_t pid = 0, session = -1;
    pidAndSession >> pid >> session;
    EXPECT_EQ(pid, session);
}

TEST_F(SystemShellTest, LeavesNoChildBehind) {
    InstallOpener();
    shell_->Execute("http://127.0.0.1/", "", nullptr);
    WaitForRecord();
    int status = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(SystemShellTest, EmptyVerbAndOpenBothOpen) {
    InstallOpener();
    EXPECT_NO_THROW(shell_->Execute("http://127.0.0.1/a", "", nullptr));
    WaitForRecord();
    fs::remove(record());
    EXPECT_NO_THROW(shell_->Execute("http://127.0.0.1/b", "open", nullptr));
    EXPECT_NE(WaitForRecord().find("http://127.0.0.1/b"), std::string::npos);
}

TEST_F(SystemShellTest, MissingOpenerIsAFailure) {
    setenv("PATH", dir_.c_str(), 1);  // an empty folder
    EXPECT_THROW(shell_->Execute("http://127.0.0.1/", "Open", nullptr), platform::PlatformError);
    int status = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
}

TEST_F(SystemShellTest, RefusesWhatItCannotHandOverSafely) {
    InstallOpener();
    EXPECT_THROW(shell_->Execute("--manual", "Open", nullptr), platform::PlatformError);
    EXPECT_THROW(shell_->Execute("", "Open", nullptr), platform::PlatformError);
    EXPECT_THROW(shell_->Execute("http://127.0.0.1/", "print", nullptr), platform::PlatformError);
    EXPECT_FALSE(fs::exists(record()));
}

}  // namespace
