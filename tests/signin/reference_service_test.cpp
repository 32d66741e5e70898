// The sign-in page and Next against the real reference service, through the real HTTP client.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <QRadioButton>
#include <gtest/gtest.h>

#include "platform/guid/guid.h"
#include "platform/recordset/recordset.h"
#include "tests/signin/harness.h"

extern char** environ;

namespace {

using signin_test::SignInWizard;

const std::string kServiceBin = VANTREL_DATASERVICE_BIN;

// A child process with its standard output on a pipe.
class Child {
public:
    explicit Child(const std::vector<std::string>& args) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
        if (rc != 0) {
            close(out_);
            throw std::runtime_error("cannot start " + args[0]);
        }
    }
    ~Child() {
        Stop();
        close(out_);
    }

    // Output up to the first line break, waiting at most `seconds`; empty if none came.
    std::string ReadLine(int seconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (buffered_.find('\n') == std::string::npos && ReadSome(deadline)) {}
        const auto end = buffered_.find('\n');
        if (end == std::string::npos) return {};
        std::string line = buffered_.substr(0, end);
        buffered_.erase(0, end + 1);
        return line;
    }

    // Everything until the child closes its output (at most `seconds`), and its exit status.
    std::string ReadAll(int seconds, int* status) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (ReadSome(deadline)) {}
        Stop();
        if (status) *status = status_;
        return std::move(buffered_);
    }

    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, &status_, 0);
        pid_ = -1;
    }

private:
    bool ReadSome(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        char chunk[4096];
        const ssize_t n = read(out_, chunk, sizeof chunk);
        if (n <= 0) return false;
        buffered_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = 0;
    std::string buffered_;
};

struct JournalLine {
    std::string page, params;
};

class ReferenceService : public ::testing::Test {
protected:
    void SetUp() override {
        if (kServiceBin.empty() || !std::filesystem::exists(kServiceBin))
            GTEST_SKIP() << "vantrel-dataservice is not built";
        std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-signin-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        db_ = (dir_ / "service.db").string();
        ASSERT_EQ(Command({"add-account", "alice", "s3cret"}, nullptr), 0);

        server_ = std::make_unique<Child>(std::vector<std::string>{kServiceBin, "--db", db_, "--port", "0"});
        const std::string line = server_->ReadLine(30);
        const std::string prefix = "listening on ";
        ASSERT_EQ(line.rfind(prefix, 0), 0u) << "the service said: " << line;
        const std::string root = line.substr(prefix.size());
        ASSERT_EQ(root.rfind("http://127.0.0.1:", 0), 0u) << root;

        records_ = platform::makeHttpRecordSource();
        w_ = std::make_unique<SignInWizard>(root + "vantrel/", records_.get(), guids_.get());
        w_->ToSignInPage();
    }

    void TearDown() override {
        // The client lets go of its connection before the server stops.
        w_.reset();
        records_.reset();
        server_.reset();
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }

    int Command(const std::vector<std::string>& words, std::string* output) {
        std::vector<std::string> args{kServiceBin, "--db", db_};
        args.insert(args.end(), words.begin(), words.end());
        Child child(args);
        int status = -1;
        std::string out = child.ReadAll(60, &status);
        if (output) *output = std::move(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The requests the service received, in order: page and parameters as it recorded them.
    std::vector<JournalLine> Journal() {
        std::string text;
        EXPECT_EQ(Command({"list-journal"}, &text), 0);
        std::vector<JournalLine> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            std::vector<std::string> fields;
            std::istringstream f(line);
            for (std::string field; std::getline(f, field, '\t');) fields.push_back(field);
            if (fields.size() < 4) continue;
            const std::string& path = fields[3];
            lines.push_back({path.substr(path.rfind('/') + 1), fields.size() > 4 ? fields[4] : ""});
        }
        return lines;
    }

    void SignIn(const std::string& name, const std::string& password) {
        w_->page2->Text1()->setText(QString::fromStdString(name));
        w_->page2->Text2()->setText(QString::fromStdString(password));
        w_->PressNext();
    }

    std::filesystem::path dir_;
    std::string db_;
    std::unique_ptr<Child> server_;
    std::unique_ptr<platform::RecordSource> records_;
    std::unique_ptr<platform::GuidSource> guids_ = platform::makeSystemGuidSource();
    std::unique_ptr<SignInWizard> w_;
};

TEST_F(ReferenceService, AnAcceptedAccountStoresBothDatesAndReachesTheProgressPage) {
    SignIn("alice", "s3cret");
    EXPECT_TRUE(w_->tp.ui.shown.empty());
    EXPECT_EQ(w_->wizard().CurrentStep(), 3);
    EXPECT_EQ(w_->audits, 1);
    // The account was made just now: both dates lie well after the zero date, and are the same.
    EXPECT_GT(w_->state.ProfileCrDate.days, 40000.0);
    EXPECT_EQ(w_->state.ProfileLuDate, w_->state.ProfileCrDate);
    const auto journal = Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].page, "getdata.asp");
    EXPECT_NE(journal[0].params.find("UID=alice"), std::string::npos) << journal[0].params;
}

TEST_F(ReferenceService, AWrongPasswordIsRejectedAndTheCorrectedOnePasses) {
    SignIn("alice", "wrong");
    ASSERT_EQ(w_->tp.ui.shown.size(), 1u);
    EXPECT_EQ(w_->tp.ui.shown[0].text.rfind("The username and/or the password you enetered are not valid.", 0), 0u);
    EXPECT_EQ(w_->wizard().CurrentStep(), 2);
    EXPECT_EQ(w_->state.ProfileCrDate.days, 0.0);

    SignIn("alice", "s3cret");
    EXPECT_EQ(w_->tp.ui.shown.size(), 1u);
    EXPECT_EQ(w_->wizard().CurrentStep(), 3);
    EXPECT_GT(w_->state.ProfileCrDate.days, 40000.0);
    const auto journal = Journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].page, "getdata.asp");
    EXPECT_EQ(journal[1].page, "getdata.asp");
}

TEST_F(ReferenceService, AStoppedServiceGivesTheUnreachableMessageAndStays) {
    server_->Stop();
    SignIn("alice", "s3cret");
    ASSERT_EQ(w_->tp.ui.shown.size(), 1u);
    EXPECT_EQ(w_->tp.ui.shown[0].text.rfind("The VantrelNet service could not be reached", 0), 0u);
    EXPECT_EQ(w_->wizard().CurrentStep(), 2);
    EXPECT_EQ(w_->audits, 0);
    EXPECT_EQ(w_->state.ProfileCrDate.days, 0.0);
}

TEST_F(ReferenceService, TheEvaluationPathRegistersANineCharacterIdentifier) {
    w_->page2->Option1(1)->click();
    w_->PressNext();
    EXPECT_EQ(w_->wizard().CurrentStep(), 3);
    const std::string id = w_->state.EvalID;
    ASSERT_EQ(id.size(), 9u) << id;
    EXPECT_EQ(id.substr(0, 4), "Eval");
    for (char c : id.substr(4)) EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(c)) && !std::islower(c)) << id;
    const auto journal = Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].page, "gettemp.asp");
    EXPECT_EQ(journal[0].params, "TempID=" + id);
}

}  // namespace
