#include "dataservice/operation/log_and_limits.h"
#include "platform/common/text.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <systemd/sd-daemon.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>

namespace dataservice {

unsigned long raiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? 1048576ul : static_cast<unsigned long>(limit.rlim_cur);
}

unsigned connectionLimitFor(unsigned long files) {
    // The database (SQLite's file, log and index; or two PostgreSQL sessions), the journal, the
    // listeners, each loop's epoll and wake-up descriptors, a backup or a log rotation: a fixed
    // part, and a tenth for whatever else the system hands us.
    constexpr unsigned long kReserved = 64;
    if (files <= 2 * kReserved) return 16;
    const unsigned long room = files - kReserved - files / 10;
    return static_cast<unsigned>(std::min<unsigned long>(room, 1u << 20));
}

void notifySystemd(const char* state) { sd_notify(0, state); }

std::chrono::microseconds watchdogInterval() {
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return std::chrono::microseconds(0);
    return std::chrono::microseconds(usec / 2);
}

bool knock(const std::string& host, int port, std::chrono::milliseconds timeout) {
    sockaddr_storage addr{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&addr);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&addr);
    const std::string target = host == "0.0.0.0" ? "127.0.0.1" : host == "::" ? "::1" : host;
    if (inet_pton(AF_INET, target.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, target.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof *v6;
    } else {
        return false;
    }
    const int fd = socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), length) == 0;
    if (!ok && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        ok = poll(&p, 1, static_cast<int>(timeout.count())) == 1 && (p.revents & POLLOUT) && !(p.revents & POLLERR);
    }
    close(fd);
    return ok;
}

namespace {

std::atomic<LogFormat> format{LogFormat::Text};
std::mutex logMutex;

// Text values with a space, a quote or a control character are quoted, so a line splits back
// into its fields.
std::string plainText(std::string_view s) {
    const bool quote = s.empty() || s.find_first_of(" \"=\\") != std::string_view::npos ||
                       std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    return quote ? text::JsonString(s) : std::string(s);
}

}  // namespace

void setLogFormat(LogFormat f) { format = f; }

void logEvent(std::string_view event, const LogFields& fields) {
    std::string line;
    if (format == LogFormat::Json) {
        line = "{\"event\":" + text::JsonString(event);
        for (const auto& [k, v] : fields) line += "," + text::JsonString(k) + ":" + text::JsonString(v);
        line += "}\n";
    } else {
        line = std::string(event);
        for (const auto& [k, v] : fields) line += " " + k + "=" + plainText(v);
        line += "\n";
    }
    std::lock_guard lock(logMutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace dataservice
