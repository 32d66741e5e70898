#pragma once
// What the service does for the operator who runs it: as many open files as the system lets it
// have, systemd told when it is ready, stopping and alive, and one log line per event.
#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dataservice {

// Raises the soft limit on open files to the hard one; returns the limit now in force.
unsigned long raiseOpenFileLimit();
// The client connections that fit in `files` descriptors, keeping room for the database, the
// journal, the listeners, the loops' epoll and event descriptors, and a margin.
unsigned connectionLimitFor(unsigned long files);

// sd_notify, when systemd asked for it (NOTIFY_SOCKET); nothing otherwise.
void notifySystemd(const char* state);
// Half the watchdog interval systemd set (WATCHDOG_USEC), or zero when it set none.
std::chrono::microseconds watchdogInterval();

// Opens a connection to `host` (a wildcard address: loopback) and `port` and closes it at once,
// so that an idle listener's loop has something to handle. False when it could not connect.
bool knock(const std::string& host, int port, std::chrono::milliseconds timeout);

// One line on standard error: "event key=value ..." or, in JSON, {"event":...,"key":"value"}.
enum class LogFormat { Text, Json };
void setLogFormat(LogFormat format);
using LogFields = std::vector<std::pair<std::string, std::string>>;
void logEvent(std::string_view event, const LogFields& fields = {});

}  // namespace dataservice
