#include "bench/load/targets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <httplib.h>

#include "bench/load/common.h"
#include "dataservice/pages/recordset_writer.h"

namespace load {
namespace {

// A port nobody listens on now. Another program could take it before nginx binds it; nginx
// then fails to start and says so.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("cannot find a free port");
    }
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

}  // namespace

std::string uploadReply() {
    return dataservice::writeRecordSet({dataservice::Column{"UID", dataservice::ColumnType::String, 50}}, {});
}

BareEndpoint::BareEndpoint(const std::string& body) {
    response_ = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (!response_) throw std::runtime_error("cannot make the bare endpoint's reply");
    MHD_add_response_header(response_, MHD_HTTP_HEADER_CONTENT_TYPE, "text/xml; charset=utf-8");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    daemon_ = MHD_start_daemon(MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_TURBO, 0, nullptr, nullptr, &answer, response_,
                               MHD_OPTION_SOCK_ADDR, &addr, MHD_OPTION_THREAD_POOL_SIZE, cores,
                               MHD_OPTION_CONNECTION_TIMEOUT, 30u, MHD_OPTION_END);
    if (!daemon_) {
        MHD_destroy_response(response_);
        throw std::runtime_error("cannot start the bare libmicrohttpd endpoint");
    }
    port_ = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT)->port;
}

BareEndpoint::~BareEndpoint() {
    MHD_stop_daemon(daemon_);
    MHD_destroy_response(response_);
}

MHD_Result BareEndpoint::answer(void* cls, MHD_Connection* connection, const char*, const char*, const char*,
                                 const char*, size_t*, void** request) {
    static int seen;
    if (!*request) {
        *request = &seen;
        return MHD_YES;
    }
    return MHD_queue_response(connection, MHD_HTTP_OK, static_cast<MHD_Response*>(cls));
}

Nginx::Nginx(const std::filesystem::path& dir, const std::string& body) {
    for (const char* binary : {"/usr/sbin/nginx", "/usr/bin/nginx"})
        if (::access(binary, X_OK) == 0) binary_ = binary;
    if (binary_.empty()) throw std::runtime_error("nginx is not installed (package nginx-light)");
    std::filesystem::create_directories(dir / "logs");
    port_ = freePort();
    // In a double-quoted nginx string only the quote, the backslash and "$" are special.
    std::string quoted;
    for (const char c : body) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (c == '$') throw std::runtime_error("the reply holds a \"$\", which nginx would expand");
        quoted += c;
    }
    const std::string d = dir.string();
    std::ofstream conf(dir / "nginx.conf");
    conf << "daemon off;\nworker_processes 2;\npid " << d << "/nginx.pid;\nerror_log " << d
         << "/logs/error.log warn;\n"
         << "events { worker_connections 4096; }\n"
         << "http {\n  access_log off;\n  keepalive_requests 1000000;\n  keepalive_timeout 60s;\n"
         << "  client_body_temp_path " << d << "/body;\n  proxy_temp_path " << d << "/proxy;\n"
         << "  fastcgi_temp_path " << d << "/fastcgi;\n  uwsgi_temp_path " << d << "/uwsgi;\n"
         << "  scgi_temp_path " << d << "/scgi;\n"
         << "  server {\n    listen 127.0.0.1:" << port_ << ";\n"
         << "    location / { default_type text/xml; return 200 \"" << quoted << "\"; }\n  }\n}\n";
    conf.close();
    if (!conf) throw std::runtime_error("cannot write nginx's configuration");
    log_ = dir / "logs/error.log";
    process::Options quiet;
    quiet.captureOutput = false;
    quiet.interrupted = &gInterrupted;
    child_ = std::make_unique<process::Child>(
        std::vector<std::string>{binary_, "-c", (dir / "nginx.conf").string(), "-p", d + "/"}, quiet);
    const auto until = Clock::now() + 10s;
    while (!accepts(port_)) {
        if (!child_->running() || Clock::now() > until || gInterrupted)
            throw std::runtime_error("nginx did not start; its log says:\n" + errorLog());
        std::this_thread::sleep_for(10ms);
    }
}

std::string Nginx::errorLog() const {
    std::ifstream in(log_);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Service::Service(const std::string& binary, const std::string& db, const std::vector<std::string>& more)
    : server_(db, [&] {
          process::ServiceOptions options;
          options.binary = binary;
          options.startLimit = 20s;
          options.stopLimit = 5s;
          options.interrupted = &gInterrupted;
          return options;
      }()) {
    server_.start(more);
    if (std::find(more.begin(), more.end(), "--metrics-listen") != more.end()) {
        const std::string line = server_.child().readLine(10s);  // "metrics on http://127.0.0.1:PORT/metrics"
        const std::size_t colon = line.rfind(':');
        if (colon != std::string::npos) metricsPort_ = std::atoi(line.c_str() + colon + 1);
    }
}

std::optional<std::pair<double, double>> Service::committed() {
    const auto transactions = metric("vantrel_store_commit_batch_size_sum"),
               commits = metric("vantrel_store_commit_batch_size_count");
    if (!transactions || !commits) return std::nullopt;
    return std::pair{*transactions, *commits};
}

std::optional<double> Service::metric(const std::string& name) {
    if (metricsPort_ <= 0) return std::nullopt;
    httplib::Client client("127.0.0.1", metricsPort_);
    client.set_read_timeout(5, 0);
    const auto res = client.Get("/metrics");
    if (!res || res->status != 200) return std::nullopt;
    const std::size_t at = res->body.find("\n" + name + " ");
    if (at == std::string::npos) return std::nullopt;
    return std::atof(res->body.c_str() + at + name.size() + 2);
}

double postgresCpuSeconds() {
    double ticks = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename();
        if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0]))) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const std::size_t open = text.find('('), close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos || text.compare(open + 1, close - open - 1, "postgres") != 0)
            continue;
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        for (int k = 3; k <= 17 && fields >> field; ++k)  // utime, stime, cutime, cstime: fields 14 to 17
            if (k >= 14) ticks += std::stod(field);
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double Service::cpuSeconds() const {
    std::ifstream stat("/proc/" + std::to_string(server_.pid()) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t name = text.rfind(')');  // the command's name may hold spaces
    if (name == std::string::npos) return 0;
    std::istringstream fields(text.substr(name + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int k = 3; k <= 15 && fields >> field; ++k) {  // utime and stime are fields 14 and 15
        if (k == 14) user = std::stoull(field);
        if (k == 15) system = std::stoull(field);
    }
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace load
