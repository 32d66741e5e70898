#pragma once
// The real program as a child process, with its standard streams on pipes.
#include <fcntl.h>
#include <sys/wait.h>

#include <thread>
#include <vector>

#include "tests/dataservice/harness.h"

namespace dataservice::testing {

// A child process of the program with its standard streams on pipes.
class Child {
public:
    explicit Child(const std::vector<std::string>& args) {
        // Everything the child needs is made before fork: after it, only async-signal-safe calls.
        std::string program = VANTREL_DATASERVICE_BIN;
        std::vector<char*> argv{program.data()};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
            for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        in_ = in[1];
        out_ = out[0];
        err_ = err[0];
    }
    ~Child() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : {in_, out_, err_})
            if (fd >= 0) close(fd);
    }

    void write(const std::string& text) {
        ::write(in_, text.data(), text.size());
        close(in_);
        in_ = -1;
    }
    // One line of standard output, waiting at most `ms`.
    std::string readLine(int ms = 10000) {
        std::string line;
        char c;
        while (true) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, ms) <= 0) return line;
            if (read(out_, &c, 1) != 1 || c == '\n') return line;
            line.push_back(c);
        }
    }
    std::string drain(int fd) {
        std::string text;
        char buf[4096];
        while (true) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0) break;
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, static_cast<std::size_t>(n));
        }
        return text;
    }
    std::string readAll() { return drain(out_); }
    std::string readErrors() { return drain(err_); }

    // The exit status, or -1 when the child did not end within `ms` (it is then killed).
    int wait(int ms = 10000) {
        for (int waited = 0; waited < ms; waited += 10) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    void signal(int sig) { kill(pid_, sig); }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    bool exited_ = false;
};

struct Outcome {
    int status;
    std::string out, err;
};

inline Outcome run(const std::vector<std::string>& args, const std::string& input = "") {
    Child child(args);
    if (!input.empty()) child.write(input);
    Outcome o;
    o.out = child.readAll();
    o.err = child.readErrors();
    o.status = child.wait();
    return o;
}

}  // namespace dataservice::testing
