#pragma once
// What the generator measures: the service itself, and two ceilings that answer its upload
// reply without any store (a bare libmicrohttpd endpoint, nginx).
#include <microhttpd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/dataservice_process.h"

namespace load {

// What the service answers an upload: a record set with its one column and no records.
std::string uploadReply();

// The ceiling of the service's HTTP library: libmicrohttpd answering the fixed reply to every
// request from one epoll thread per core, touching no store.
class BareEndpoint {
public:
    explicit BareEndpoint(const std::string& body);
    ~BareEndpoint();
    BareEndpoint(const BareEndpoint&) = delete;
    BareEndpoint& operator=(const BareEndpoint&) = delete;
    int port() const { return port_; }

private:
    // A reply queued on the first call, before libmicrohttpd has read the whole request, makes
    // it close the connection after the reply; on the second call it keeps the connection.
    static MHD_Result answer(void* cls, MHD_Connection* connection, const char*, const char*, const char*, const char*,
                             size_t*, void** request);
    MHD_Response* response_ = nullptr;
    MHD_Daemon* daemon_ = nullptr;
    int port_ = 0;
};

// The machine's HTTP ceiling: nginx returning the same bytes from its configuration.
class Nginx {
public:
    Nginx(const std::filesystem::path& dir, const std::string& body);
    int port() const { return port_; }
    std::string errorLog() const;

private:
    std::string binary_;
    int port_ = 0;
    std::filesystem::path log_;
    std::unique_ptr<process::Child> child_;
};

// vantrel-dataservice on a free port of 127.0.0.1, serving `db`.
class Service {
public:
    // `more`: options after the usual ones.
    Service(const std::string& binary, const std::string& db, const std::vector<std::string>& more = {});
    int port() const { return server_.port(); }
    bool running() const { return server_.running(); }
    void stop() { server_.stop(); }
    // The processor time the service has used so far, its threads together.
    double cpuSeconds() const;
    // With its metrics listener on (started with --metrics-listen): the transactions its
    // writer has committed so far and the commits they took; nothing without it.
    std::optional<std::pair<double, double>> committed();
    // A metric as the metrics listener serves it now (`name{label="x"}` for one of a family);
    // nothing without the listener.
    std::optional<double> metric(const std::string& name);
    pid_t pid() const { return server_.pid(); }

private:
    process::DataService server_;
    int metricsPort_ = -1;
};

// The processor time of every PostgreSQL server process on this machine so far, with what its
// ended backends used (the postmaster's reaped children): 0 when none runs.
double postgresCpuSeconds();

}  // namespace load
