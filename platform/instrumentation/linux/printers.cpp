// Print destinations: the running print service's list, or the scheduler's configuration file
// of a machine tree.
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include <cups/cups.h>
#include <sys/stat.h>

#include "platform/instrumentation/linux/providers.h"
#include "platform/instrumentation/query.h"
#include "platform/common/text.h"

namespace platform::instr {

namespace {

// A print service that does not answer must not hold up a collection run. The library makes
// several requests for one list, each waiting at least a second, so one small request first
// finds out whether anybody answers at all.
constexpr int kConnectMillis = 1000;
constexpr auto kProbeBudget = std::chrono::milliseconds(1500);
constexpr auto kListBudget = std::chrono::seconds(2);
constexpr double kWaitSlice = 0.25;

std::string_view trimmed(std::string_view s) { return text::TrimRightControls(text::TrimLeft(s)); }

bool lessIgnoringCase(const PrinterEntry& a, const PrinterEntry& b) { return text::LessNoCase(a.name, b.name); }

bool isSocket(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0 && S_ISSOCK(st.st_mode);
}

// Where the scheduler listens: a local socket path, or host and port.
struct ServerAddress {
    std::string host;
    int port = 0;
};

std::optional<ServerAddress> schedulerAddress() {
    const char* named = std::getenv("CUPS_SERVER");
    if (named && *named) {
        std::string server(named);
        if (server.front() == '/') {
            if (!isSocket(server.c_str())) return std::nullopt;
            return ServerAddress{server, 0};
        }
        // "host", "host:port", "[v6]:port", each perhaps with a "/version=..." suffix.
        server = server.substr(0, server.find('/'));
        int port = ippPort();
        if (server.front() == '[') {
            const std::size_t close = server.find(']');
            if (close == std::string::npos) return std::nullopt;
            if (close + 1 < server.size() && server[close + 1] == ':')
                port = std::atoi(server.c_str() + close + 2);
            server = server.substr(1, close - 1);
        } else if (const std::size_t colon = server.find(':');
                   colon != std::string::npos && server.find(':', colon + 1) == std::string::npos) {
            port = std::atoi(server.c_str() + colon + 1);
            server.resize(colon);
        }
        if (server.empty() || port <= 0) return std::nullopt;
        return ServerAddress{server, port};
    }
    for (const char* path : {"/run/cups/cups.sock", "/var/run/cups/cups.sock"}) {
        if (isSocket(path)) return ServerAddress{path, 0};
    }
    return std::nullopt;
}

// Called while a reply is awaited, once per wait slice: go on waiting while time is left.
int keepWaiting(http_t*, void* deadline) {
    return std::chrono::steady_clock::now() < *static_cast<std::chrono::steady_clock::time_point*>(deadline);
}

}  // namespace

std::vector<PrinterEntry> parsePrintersConf(std::string_view text) {
    std::vector<PrinterEntry> printers;
    bool inside = false;
    text::ForEachLine(text, [&](std::string_view line) {
        line = trimmed(line);
        if (line.empty() || line.front() == '#') return;

        if (line.front() == '<') {
            inside = false;
            if (line.size() < 2 || line[1] == '/' || line.back() != '>') return;
            std::string_view body = trimmed(line.substr(1, line.size() - 2));
            const std::size_t blank = body.find_first_of(" \t");
            if (blank == std::string_view::npos) return;
            const std::string_view tag = body.substr(0, blank);
            const std::string_view name = trimmed(body.substr(blank));
            std::string cleaned = cleanText(name);
            if ((sameName(tag, "Printer") || sameName(tag, "DefaultPrinter")) && !cleaned.empty()) {
                printers.push_back({std::move(cleaned), std::nullopt});
                inside = true;
            }
            return;
        }
        if (!inside) return;
        const std::size_t blank = line.find_first_of(" \t");
        if (blank == std::string_view::npos || !sameName(line.substr(0, blank), "MakeModel")) return;
        std::string model = cleanText(trimmed(line.substr(blank)));
        printers.back().makeAndModel = model.empty() ? std::nullopt : std::optional<std::string>(model);
    });
    std::stable_sort(printers.begin(), printers.end(), lessIgnoringCase);
    return printers;
}

std::vector<PrinterEntry> livePrintDestinations() {
    std::vector<PrinterEntry> printers;
    // No scheduler, no list: asking the library anyway would make it try the network.
    const auto server = schedulerAddress();
    if (!server) return printers;

    http_t* http = httpConnect2(server->host.c_str(), server->port, nullptr, AF_UNSPEC,
                                HTTP_ENCRYPTION_IF_REQUESTED, 1, kConnectMillis, nullptr);
    if (!http) return printers;
    auto deadline = std::chrono::steady_clock::now() + kProbeBudget;
    httpSetTimeout(http, kWaitSlice, keepWaiting, &deadline);

    // Any answer will do, "no default printer" included.
    ipp_t* probe = cupsDoRequest(http, ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/");
    const ipp_status_t status = cupsLastError();
    ippDelete(probe);
    if (!probe && (status < IPP_STATUS_ERROR_BAD_REQUEST || status >= IPP_STATUS_ERROR_INTERNAL)) {
        httpClose(http);
        return printers;
    }
    deadline = std::chrono::steady_clock::now() + kListBudget;

    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http, &dests);
    for (int i = 0; i < count; ++i) {
        const cups_dest_t& dest = dests[i];
        PrinterEntry entry;
        entry.name = dest.name ? cleanText(dest.name) : std::string();
        if (dest.instance) entry.name += "/" + cleanText(dest.instance);
        if (const char* model = cupsGetOption("printer-make-and-model", dest.num_options, dest.options)) {
            std::string text = cleanText(model);
            if (!text.empty()) entry.makeAndModel = text;
        }
        printers.push_back(std::move(entry));
    }
    cupsFreeDests(count, dests);
    httpClose(http);
    return printers;
}

std::vector<Row> collectPrinters(ProviderContext& ctx) {
    std::vector<PrinterEntry> printers;
    if (ctx.root.isLive()) {
        printers = livePrintDestinations();
    } else if (auto conf = ctx.root.readBytes("/etc/cups/printers.conf", 1 << 20)) {
        printers = parsePrintersConf(*conf);
    }
    std::vector<Row> rows;
    for (auto& p : printers) rows.push_back({std::move(p.makeAndModel)});
    return rows;
}

}  // namespace platform::instr
