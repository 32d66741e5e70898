#pragma once
// Child processes for the tests and benchmarks, above all the reference data service started
// from its binary on 127.0.0.1. Every read and wait is bounded; a child also dies with its
// parent, so a killed test run leaves no server behind. No GTest here: the benchmarks use it too.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace process {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Options {
    std::vector<std::string> env;  // "NAME=value", added to the inherited environment (or replacing NAME there)
    bool captureOutput = true;     // standard output on a pipe; otherwise the parent's
    bool captureErrors = false;    // standard error on a pipe; otherwise the parent's
    // Reads and waits give up once this is set (a benchmark stopped with Ctrl-C).
    const std::atomic<bool>* interrupted = nullptr;
};

// A child process with its standard input on a pipe. Stopped when this goes out of scope.
class Child {
public:
    // Throws std::runtime_error when the program cannot be started.
    explicit Child(const std::vector<std::string>& argv, Options options = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Writes `text` to the child's standard input and closes it.
    void write(const std::string& text);
    // Standard output up to the next line break, without it, waiting at most `limit`; what has
    // come so far when none came.
    std::string readLine(Clock::duration limit = 30s);
    // Standard output (and standard error, when captured) until the child closes them, at most `limit`.
    std::string readAll(Clock::duration limit = 60s);
    // What standard error said so far (when captured).
    const std::string& errors() const { return err_; }

    void signal(int sig);
    bool running();
    // Waits up to `limit` for the child to end; kills it after that. Its exit status, 128 +
    // the signal that ended it, or -1 when it had to be killed.
    int wait(Clock::duration limit = 10s);
    // SIGTERM, then wait() with `grace`. The exit status as wait() gives it.
    int stop(Clock::duration grace = 10s);
    // SIGKILL, at once, and reaps it: a crash, for the tests that need one.
    void kill();
    pid_t pid() const { return pid_; }

private:
    bool fill(int which, Clock::time_point until);
    bool interrupted() const { return options_.interrupted && options_.interrupted->load(); }

    Options options_;
    pid_t pid_ = -1;
    int status_ = -1;
    int in_ = -1, out_ = -1, errFd_ = -1;
    std::string out_buffer_, err_;
};

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Runs `argv` to its end (at most `limit`; killed after that): `input` on its standard input,
// both output streams kept.
Outcome run(const std::vector<std::string>& argv, const std::string& input = {}, Clock::duration limit = 60s,
            Options options = {});

// The data service's binary as this build made it; "" when it was not built.
const std::string& dataServiceBinary();
// True when that binary is there to run; tests skip without it.
bool dataServiceAvailable();

struct ServiceOptions {
    std::string binary = dataServiceBinary();
    std::vector<std::string> args;  // after "--db TARGET --port 0"
    std::vector<std::string> env;
    Clock::duration startLimit = 30s;  // for the "listening on" line
    Clock::duration stopLimit = 10s;   // after SIGTERM, before SIGKILL
    const std::atomic<bool>* interrupted = nullptr;
};

// One request of the journal, as `list-journal` lists it.
struct JournalEntry {
    std::string page;    // "getdata.asp"
    std::string params;  // "UID=alice&PWD=***"
};

// vantrel-dataservice serving the database `db` (a file, or postgresql://...) on a port of its
// own choosing on 127.0.0.1; started by start(), which may be called again after stop().
class DataService {
public:
    explicit DataService(std::string db, ServiceOptions options = {});
    ~DataService() { stop(); }
    DataService(const DataService&) = delete;
    DataService& operator=(const DataService&) = delete;

    // Starts the server with `more` options after the usual ones and waits for its
    // "listening on http://127.0.0.1:PORT/" line (https with a certificate). Throws
    // std::runtime_error with what it printed when that line does not come.
    void start(const std::vector<std::string>& more = {});
    // SIGTERM and a bounded wait, SIGKILL after it. The exit status (see Child::wait); -1 when
    // it was not running.
    int stop();
    // SIGKILL: a crash in the middle of whatever it does.
    void kill();
    bool running() const { return child_ != nullptr; }

    const std::string& line() const { return line_; }        // "listening on http://127.0.0.1:PORT/"
    const std::string& address() const { return address_; }  // "http://127.0.0.1:PORT/"
    int port() const { return port_; }
    pid_t pid() const;
    Child& child() { return *child_; }
    const std::string& db() const { return db_; }

    // Runs `BINARY --db DB args...` to its end, the server running or not.
    Outcome command(const std::vector<std::string>& args, const std::string& input = {}) const;
    // Standard output of command() one entry a line; throws when the command fails.
    std::vector<std::string> lines(const std::vector<std::string>& args) const;
    // "category<TAB>text" of a profile's items, in arrival order.
    std::vector<std::string> items(const std::string& profile) const { return lines({"list-items", profile}); }
    // The requests the service received, in arrival order.
    std::vector<JournalEntry> journal() const;
    // Their pages alone ("getdata.asp", ...).
    std::vector<std::string> journalPages() const;

private:
    std::string db_;
    ServiceOptions options_;
    std::unique_ptr<Child> child_;
    std::string line_, address_;
    int port_ = 0;
};

// Runs `vantrel-dataservice args...` to its end: a command of the program with a command line
// of the caller's own (no --db added).
Outcome runDataService(const std::vector<std::string>& args, const std::string& input = {},
                       Clock::duration limit = 60s);

}  // namespace process
