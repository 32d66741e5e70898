#include "tests/e2e/dataservice_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

extern char** environ;

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kCommandTime = std::chrono::seconds(30);
constexpr auto kStartTime = std::chrono::seconds(30);
constexpr auto kStopTime = std::chrono::seconds(10);

// Starts the program with `args`, its standard output on a pipe whose read end is returned.
pid_t Spawn(const std::vector<std::string>& args, int& out) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (pid == -1) {
        ::close(fds[0]);
        return -1;
    }
    out = fds[0];
    return pid;
}

enum class Read { Enough, Ended, TimedOut };

// Reads what arrives until `enough` says so, the pipe ends or the deadline passes.
template <typename Enough>
Read ReadUntil(int fd, std::string& text, Clock::time_point deadline, Enough enough) {
    char buffer[4096];
    while (!enough(text)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return Read::TimedOut;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0) return Read::Ended;
        if (ready == 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return Read::Ended;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return Read::Enough;
}

// Waits for the child to end; kills it when it outstays `time`. Its exit status, -1 if killed.
int Reap(pid_t pid, std::chrono::seconds time) {
    const auto deadline = Clock::now() + time;
    int status = 0;
    while (Clock::now() < deadline) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

}  // namespace

bool DataService::Available() {
    const std::string bin = VANTREL_DATASERVICE_BIN;
    return !bin.empty() && ::access(bin.c_str(), X_OK) == 0;
}

DataService::DataService() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data())) folder_ = pattern;
    db_ = folder_ + "/service.db";
}

DataService::~DataService() {
    Stop();
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

std::vector<std::string> DataService::Command(const std::vector<std::string>& args) {
    std::vector<std::string> argv{VANTREL_DATASERVICE_BIN, "--db", db_};
    argv.insert(argv.end(), args.begin(), args.end());
    int out = -1;
    const pid_t pid = Spawn(argv, out);
    if (pid == -1) {
        ADD_FAILURE() << "cannot start " << argv[0];
        return {};
    }
    std::string text;
    const Read read = ReadUntil(out, text, Clock::now() + kCommandTime, [](const std::string&) { return false; });
    ::close(out);
    const int status = Reap(pid, read == Read::Ended ? kStopTime : std::chrono::seconds(0));
    EXPECT_EQ(status, 0) << "vantrel-dataservice " << args[0];
    return Lines(text);
}

void DataService::Start(const std::vector<std::string>& options) {
    int out = -1;
    std::vector<std::string> args{VANTREL_DATASERVICE_BIN, "--db", db_, "--port", "0"};
    args.insert(args.end(), options.begin(), options.end());
    server_ = Spawn(args, out);
    ASSERT_NE(server_, -1) << "cannot start " << VANTREL_DATASERVICE_BIN;
    serverOut_ = out;
    std::string text;
    const bool up = ReadUntil(out, text, Clock::now() + kStartTime, [](const std::string& t) {
                        return t.find('\n') != std::string::npos;
                    }) == Read::Enough;
    const std::string prefix = "listening on ";
    ASSERT_TRUE(up && text.rfind(prefix, 0) == 0) << "the service said: " << text;
    base_ = text.substr(prefix.size(), text.find('\n') - prefix.size());
    ASSERT_TRUE(base_.rfind("http://127.0.0.1:", 0) == 0 || base_.rfind("https://127.0.0.1:", 0) == 0) << base_;
    if (base_.back() != '/') base_ += '/';
}

void DataService::Stop() {
    if (server_ != -1) {
        ::kill(server_, SIGTERM);
        Reap(server_, kStopTime);
        server_ = -1;
    }
    if (serverOut_ != -1) {
        ::close(serverOut_);
        serverOut_ = -1;
    }
}

std::vector<std::string> DataService::JournalPages() {
    std::vector<std::string> pages;
    for (const std::string& line : Command({"list-journal"})) {
        // seq, received, status, path, params
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string f; std::getline(in, f, '\t');) fields.push_back(f);
        if (fields.size() < 4) continue;
        const std::string& path = fields[3];
        pages.push_back(path.substr(path.find_last_of('/') + 1));
    }
    return pages;
}

}  // namespace e2e
