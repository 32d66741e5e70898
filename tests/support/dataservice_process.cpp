#include "tests/support/dataservice_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace process {
namespace {

// The inherited environment with `extra` added; a NAME in `extra` replaces the inherited one.
std::vector<std::string> environmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        const bool replaced = std::any_of(extra.begin(), extra.end(),
                                          [&](const std::string& x) { return x.rfind(name, 0) == 0; });
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

int exitStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, Options options) : options_(std::move(options)) {
    if (argv.empty()) throw std::runtime_error("no program to start");
    // Everything the child needs is made before fork: after it, only async-signal-safe calls.
    std::vector<std::string> args = argv;
    std::vector<std::string> env = environmentWith(options_.env);
    std::vector<char*> argp = pointers(args);
    std::vector<char*> envp = pointers(env);
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    const auto pipes = [&] {
        if (::pipe2(in, O_CLOEXEC) != 0) return false;
        if (options_.captureOutput && ::pipe2(out, O_CLOEXEC) != 0) return false;
        if (options_.captureErrors && ::pipe2(err, O_CLOEXEC) != 0) return false;
        return true;
    };
    const auto closeAll = [&] {
        for (int* fd : {&in[0], &in[1], &out[0], &out[1], &err[0], &err[1]}) closeFd(*fd);
    };
    if (!pipes()) {
        closeAll();
        throw std::runtime_error("pipe failed");
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0) {
        closeAll();
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        // The child dies with its parent, should that be killed outright.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::dup2(in[0], STDIN_FILENO);
        if (out[1] >= 0) ::dup2(out[1], STDOUT_FILENO);
        if (err[1] >= 0) ::dup2(err[1], STDERR_FILENO);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);  // as a program started from a shell or by systemd finds it
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    closeFd(in[0]);
    closeFd(out[1]);
    closeFd(err[1]);
    in_ = in[1];
    out_ = out[0];
    errFd_ = err[0];
}

Child::~Child() {
    stop();
    closeFd(in_);
    closeFd(out_);
    closeFd(errFd_);
}

void Child::write(const std::string& text) {
    std::size_t written = 0;
    while (in_ >= 0 && written < text.size()) {
        const ssize_t n = ::write(in_, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    closeFd(in_);
}

// Reads what arrives on the captured streams (both, so that neither fills its pipe and stalls
// the child) until some bytes came on stream `which` (0 output, 1 errors): true then; false
// once that stream is closed, the time is up or the run is interrupted.
bool Child::fill(int which, Clock::time_point until) {
    char buffer[4096];
    while (!interrupted()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0 || (which == 0 ? out_ : errFd_) < 0) return false;
        pollfd p[2] = {{out_, POLLIN, 0}, {errFd_, POLLIN, 0}};
        const int ready = ::poll(p, 2, static_cast<int>(std::min<long long>(left, 100)));
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        bool came = false;
        for (int k = 0; k < 2; ++k) {
            if (!p[k].revents) continue;
            int& fd = k == 0 ? out_ : errFd_;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) {
                closeFd(fd);
                continue;
            }
            (k == 0 ? out_buffer_ : err_).append(buffer, static_cast<std::size_t>(n));
            came = came || k == which;
        }
        if (came) return true;
    }
    return false;
}

std::string Child::readLine(Clock::duration limit) {
    const auto until = Clock::now() + limit;
    while (out_buffer_.find('\n') == std::string::npos && fill(0, until)) {}
    const std::size_t end = out_buffer_.find('\n');
    std::string line = out_buffer_.substr(0, end);
    out_buffer_.erase(0, end == std::string::npos ? end : end + 1);
    return line;
}

std::string Child::readAll(Clock::duration limit) {
    const auto until = Clock::now() + limit;
    while (fill(0, until)) {}
    while (fill(1, until)) {}
    std::string all;
    all.swap(out_buffer_);
    return all;
}

void Child::signal(int sig) {
    if (running()) ::kill(pid_, sig);
}

bool Child::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = exitStatus(status);
        pid_ = -1;
    }
    return pid_ > 0;
}

int Child::wait(Clock::duration limit) {
    const auto until = Clock::now() + limit;
    while (running() && Clock::now() < until) std::this_thread::sleep_for(5ms);
    if (running()) {
        kill();
        status_ = -1;
    }
    return status_;
}

int Child::stop(Clock::duration grace) {
    if (!running()) return status_;
    ::kill(pid_, SIGTERM);
    return wait(grace);
}

void Child::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    status_ = exitStatus(status);
    pid_ = -1;
}

Outcome run(const std::vector<std::string>& argv, const std::string& input, Clock::duration limit, Options options) {
    options.captureOutput = true;
    options.captureErrors = true;
    Child child(argv, std::move(options));
    const auto until = Clock::now() + limit;
    child.write(input);
    Outcome o;
    o.out = child.readAll(limit);
    o.err = child.errors();
    o.status = child.wait(std::max<Clock::duration>(until - Clock::now(), 1s));
    return o;
}

const std::string& dataServiceBinary() {
    static const std::string binary = VANTREL_DATASERVICE_BIN;
    return binary;
}

bool dataServiceAvailable() {
    return !dataServiceBinary().empty() && ::access(dataServiceBinary().c_str(), X_OK) == 0;
}

DataService::DataService(std::string db, ServiceOptions options) : db_(std::move(db)), options_(std::move(options)) {}

void DataService::start(const std::vector<std::string>& more) {
    stop();
    std::vector<std::string> argv{options_.binary, "--db", db_, "--port", "0"};
    argv.insert(argv.end(), options_.args.begin(), options_.args.end());
    argv.insert(argv.end(), more.begin(), more.end());
    Options o;
    o.env = options_.env;
    o.interrupted = options_.interrupted;
    child_ = std::make_unique<Child>(argv, std::move(o));
    line_ = child_->readLine(options_.startLimit);
    const std::string prefix = "listening on ";
    std::string address = line_.rfind(prefix, 0) == 0 ? line_.substr(prefix.size()) : std::string();
    const bool local = address.rfind("http://127.0.0.1:", 0) == 0 || address.rfind("https://127.0.0.1:", 0) == 0;
    const int port = local ? std::atoi(address.c_str() + address.rfind(':') + 1) : 0;
    if (port <= 0) {
        child_->kill();
        child_.reset();
        throw std::runtime_error("the service did not start; it printed: " + line_);
    }
    if (address.back() != '/') address += '/';
    address_ = address;
    port_ = port;
}

int DataService::stop() {
    if (!child_) return -1;
    const int status = child_->stop(options_.stopLimit);
    child_.reset();
    return status;
}

void DataService::kill() {
    if (!child_) return;
    child_->kill();
    child_.reset();
}

pid_t DataService::pid() const { return child_ ? child_->pid() : -1; }

Outcome DataService::command(const std::vector<std::string>& args, const std::string& input) const {
    std::vector<std::string> argv{options_.binary, "--db", db_};
    argv.insert(argv.end(), args.begin(), args.end());
    Options o;
    o.env = options_.env;
    o.interrupted = options_.interrupted;
    return run(argv, input, 60s, std::move(o));
}

std::vector<std::string> DataService::lines(const std::vector<std::string>& args) const {
    const Outcome o = command(args);
    if (o.status != 0)
        throw std::runtime_error("vantrel-dataservice " + (args.empty() ? std::string() : args[0]) + " ended with " +
                                 std::to_string(o.status) + ": " + o.err);
    std::vector<std::string> out;
    std::istringstream in(o.out);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<JournalEntry> DataService::journal() const {
    std::vector<JournalEntry> entries;
    for (const std::string& line : lines({"list-journal"})) {
        // seq, received, status, path, params
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string f; std::getline(in, f, '\t');) fields.push_back(f);
        if (fields.size() < 4) continue;
        const std::string& path = fields[3];
        entries.push_back({path.substr(path.find_last_of('/') + 1), fields.size() > 4 ? fields[4] : ""});
    }
    return entries;
}

std::vector<std::string> DataService::journalPages() const {
    std::vector<std::string> pages;
    for (const JournalEntry& e : journal()) pages.push_back(e.page);
    return pages;
}

Outcome runDataService(const std::vector<std::string>& args, const std::string& input, Clock::duration limit) {
    std::vector<std::string> argv{dataServiceBinary()};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, input, limit);
}

}  // namespace process
