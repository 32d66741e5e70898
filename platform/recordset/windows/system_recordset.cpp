// Record sets over WinHTTP: a blocking GET, the connections kept alive by WinHTTP's own pool,
// with the Linux source's bounded waits (WaitPlan), the system's proxy settings (the user's
// Internet settings, their automatic configuration included) and the system's TLS verification.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include <windows.h>
#include <winhttp.h>

#include "platform/common/errors.h"
#include "platform/common/text.h"
#include "platform/common/windows/wide.h"
#include "platform/recordset/http_reply.h"
#include "platform/recordset/recordset.h"
#include "platform/recordset/wait_plan.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;
using http::kMaxReplyBytes;

class Handle {
public:
    explicit Handle(HINTERNET h = nullptr) : h_(h) {}
    ~Handle() {
        if (h_) WinHttpCloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : h_(other.h_) { other.h_ = nullptr; }
    Handle& operator=(Handle&& other) noexcept {
        std::swap(h_, other.h_);
        return *this;
    }
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void close() {
        if (h_) WinHttpCloseHandle(h_);
        h_ = nullptr;
    }

private:
    HINTERNET h_;
};

// The proxy the user's Internet settings name for an address; nothing to go direct.
struct ProxyChoice {
    bool useProxy = false;
    std::wstring proxy, bypass;
};

// Asks the system, which may run WPAD or download and run a PAC file: any time at all.
ProxyChoice FindProxy(HINTERNET session, const std::wstring& address) {
    ProxyChoice choice;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&ie)) return choice;
    if (ie.fAutoDetect || ie.lpszAutoConfigUrl) {
        WINHTTP_AUTOPROXY_OPTIONS options{};
        options.fAutoLogonIfChallenged = TRUE;
        if (ie.lpszAutoConfigUrl) {
            options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
            options.lpszAutoConfigUrl = ie.lpszAutoConfigUrl;
        } else {
            options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
            options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        }
        WINHTTP_PROXY_INFO info{};
        if (WinHttpGetProxyForUrl(session, address.c_str(), &options, &info)) {
            if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy) {
                choice.useProxy = true;
                choice.proxy = info.lpszProxy;
                if (info.lpszProxyBypass) choice.bypass = info.lpszProxyBypass;
            }
            if (info.lpszProxy) GlobalFree(info.lpszProxy);
            if (info.lpszProxyBypass) GlobalFree(info.lpszProxyBypass);
        }
    } else if (ie.lpszProxy) {
        choice.useProxy = true;
        choice.proxy = ie.lpszProxy;
        if (ie.lpszProxyBypass) choice.bypass = ie.lpszProxyBypass;
    }
    if (ie.lpszAutoConfigUrl) GlobalFree(ie.lpszAutoConfigUrl);
    if (ie.lpszProxy) GlobalFree(ie.lpszProxy);
    if (ie.lpszProxyBypass) GlobalFree(ie.lpszProxyBypass);
    return choice;
}

// One lookup per origin, each on a thread of its own with a session of its own, so that the
// request's deadline bounds the wait for it; a lookup the deadline cut short goes on, and a later
// request to the same origin waits for that one instead of starting another.
class ProxyFinder {
public:
    // Nothing when the lookup has not ended by `deadline`.
    std::optional<ProxyChoice> For(const std::string& origin, const std::wstring& address,
                                   Clock::time_point deadline) {
        std::shared_ptr<Lookup>& lookup = lookups_[origin];
        if (!lookup) lookup = Start(address);
        std::unique_lock<std::mutex> lock(lookup->mutex);
        if (!lookup->ended.wait_until(lock, deadline, [&] { return lookup->done; })) return std::nullopt;
        return lookup->choice;
    }

private:
    struct Lookup {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        ProxyChoice choice;
    };

    static std::shared_ptr<Lookup> Start(const std::wstring& address) {
        auto lookup = std::make_shared<Lookup>();
        std::thread([lookup, address] {
            ProxyChoice choice;
            if (HINTERNET session = WinHttpOpen(L"Vantrel Collector", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                                WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)) {
                choice = FindProxy(session, address);
                WinHttpCloseHandle(session);
            }
            std::lock_guard<std::mutex> lock(lookup->mutex);
            lookup->choice = std::move(choice);
            lookup->done = true;
            lookup->ended.notify_all();
        }).detach();
        return lookup;
    }

    std::map<std::string, std::shared_ptr<Lookup>> lookups_;
};

class WinHttpRecordSource final : public RecordSource {
public:
    explicit WinHttpRecordSource(HttpWaits waits) : waits_(waits) {
        // Without a proxy of its own; each request gets the one the user's settings name.
        session_ = Handle(WinHttpOpen(L"Vantrel Collector", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0));
        if (!session_) throw PlatformError("the HTTP library cannot start: " + win::Hex(GetLastError()));
    }

    RecordSet Open(const std::string& address) override { return Fetch(address, false); }
    RecordSet OpenBriefly(const std::string& address) override { return Fetch(address, true); }

private:
    RecordSet Fetch(const std::string& address, bool brief) {
        http::RequireHttpAddress(address);
        const std::wstring wide = win::Widen(address);
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof parts;
        parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
        if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts))
            fail(address, "not an address: " + win::Hex(GetLastError()));
        const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
        std::wstring target(parts.lpszUrlPath, parts.dwUrlPathLength);
        target.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
        if (target.empty()) target = L"/";
        const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

        const WaitPlan::Wait wait = waits_.Next(brief);
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait.totalMs);
        bool answered = false;
        try {
            RecordSet set = Exchange(address, wide, host, parts.nPort, target, secure, wait, deadline, answered);
            waits_.Ended(true);
            return set;
        } catch (...) {
            waits_.Ended(answered);
            throw;
        }
    }

    RecordSet Exchange(const std::string& address, const std::wstring& wide, const std::wstring& host,
                       INTERNET_PORT port, const std::wstring& target, bool secure, WaitPlan::Wait wait,
                       Clock::time_point deadline, bool& answered) {
        const std::optional<ProxyChoice> proxy = proxies_.For(http::OriginOf(address), wide, deadline);
        if (!proxy) fail(address, "timed out finding the proxy");
        Handle connection(WinHttpConnect(session_.get(), host.c_str(), port, 0));
        if (!connection) fail(address, "cannot connect: " + win::Hex(GetLastError()));
        Handle request(WinHttpOpenRequest(connection.get(), L"GET", target.c_str(), nullptr, WINHTTP_NO_REFERER,
                                          WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0));
        if (!request) fail(address, "cannot make the request: " + win::Hex(GetLastError()));

        if (proxy->useProxy) {
            WINHTTP_PROXY_INFO info{};
            info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
            info.lpszProxy = const_cast<wchar_t*>(proxy->proxy.c_str());
            info.lpszProxyBypass = proxy->bypass.empty() ? nullptr : const_cast<wchar_t*>(proxy->bypass.c_str());
            WinHttpSetOption(request.get(), WINHTTP_OPTION_PROXY, &info, sizeof info);
        }
        // No redirects, as with the Linux source.
        DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);

        // The system's own waits are set as well, but the deadline is kept here: the blocking calls run
        // on a thread of their own, and closing the request cancels them when time is up (Wine's
        // WinHTTP does not end a wait for an answer that never comes).
        const int connectMs = static_cast<int>(std::min(wait.connectMs, wait.totalMs));
        const int totalMs = static_cast<int>(wait.totalMs);
        WinHttpSetTimeouts(request.get(), connectMs, connectMs, totalMs, totalMs);

        auto transfer = std::make_shared<Transfer>();
        if (!worker_) worker_ = std::make_unique<Worker>();
        worker_->Post(transfer, request.get());
        std::unique_lock<std::mutex> lock(transfer->mutex);
        if (!transfer->changed.wait_until(lock, deadline, [&] { return transfer->done.load(); })) {
            lock.unlock();
            request.close();
            lock.lock();
            const bool ended =
                transfer->changed.wait_for(lock, std::chrono::seconds(2), [&] { return transfer->done.load(); });
            answered = transfer->answered;
            lock.unlock();
            // A thread the close did not free is left to end by itself; the next request gets
            // a new one. It holds nothing of ours but the shared record of the transfer.
            if (!ended) worker_.reset();
            fail(address, "timed out");
        }
        lock.unlock();
        answered = transfer->answered;
        if (!transfer->error.empty()) fail(address, transfer->error);
        return http::ReadReply(address, transfer->reply);
    }

    // What the blocking calls found, handed from the transfer's thread.
    struct Transfer;

    // One thread that makes the blocking calls of one transfer at a time, kept for the next
    // one: a new thread per request costs Wine several milliseconds.
    class Worker {
    public:
        Worker() : queue_(std::make_shared<Queue>()) {
            std::thread([queue = queue_] { Loop(*queue); }).detach();
        }
        ~Worker() {
            {
                std::lock_guard<std::mutex> lock(queue_->mutex);
                queue_->quit = true;
            }
            queue_->changed.notify_all();
        }
        Worker(const Worker&) = delete;
        Worker& operator=(const Worker&) = delete;

        void Post(std::shared_ptr<Transfer> transfer, HINTERNET request) {
            {
                std::lock_guard<std::mutex> lock(queue_->mutex);
                queue_->job = std::move(transfer);
                queue_->request = request;
            }
            queue_->changed.notify_all();
        }

    private:
        struct Queue {
            std::mutex mutex;
            std::condition_variable changed;
            std::shared_ptr<Transfer> job;
            HINTERNET request = nullptr;
            bool quit = false;
        };
        static void Loop(Queue& queue) {
            for (;;) {
                std::unique_lock<std::mutex> lock(queue.mutex);
                queue.changed.wait(lock, [&] { return queue.quit || queue.job; });
                if (queue.quit) return;
                std::shared_ptr<Transfer> job = std::move(queue.job);
                HINTERNET request = queue.request;
                lock.unlock();
                Run(*job, request);
            }
        }
        std::shared_ptr<Queue> queue_;
    };

    struct Transfer {
        std::mutex mutex;
        std::condition_variable changed;
        std::atomic<bool> done{false};
        bool answered = false;
        http::Reply reply;
        std::string error;
    };

    // A header's value as text; "" when the reply has none.
    static std::string Header(HINTERNET request, DWORD which) {
        wchar_t value[256];
        DWORD size = sizeof value;
        if (!WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, value, &size, WINHTTP_NO_HEADER_INDEX))
            return {};
        return win::Narrow(value, size / sizeof(wchar_t));
    }

    static void Run(Transfer& transfer, HINTERNET request) {
        bool answered = false;
        DWORD code = 0;
        std::string body, error, retryAfter;
        do {
            if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
                !WinHttpReceiveResponse(request, nullptr)) {
                error = Reason(GetLastError());
                break;
            }
            answered = true;  // from here on the service is alive, whatever it says
            DWORD size = sizeof code;
            WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX);
            if (code < 200 || code > 299) {
                retryAfter = Header(request, WINHTTP_QUERY_RETRY_AFTER);
                break;
            }
            for (;;) {
                DWORD available = 0;
                if (!WinHttpQueryDataAvailable(request, &available)) {
                    error = Reason(GetLastError());
                    break;
                }
                if (available == 0) break;
                if (body.size() + available > kMaxReplyBytes) {
                    error = http::TooLargeReason();
                    break;
                }
                const std::size_t at = body.size();
                body.resize(at + available);
                DWORD read = 0;
                if (!WinHttpReadData(request, body.data() + at, available, &read)) {
                    error = Reason(GetLastError());
                    break;
                }
                body.resize(at + read);
                if (read == 0) break;
            }
        } while (false);
        std::lock_guard<std::mutex> lock(transfer.mutex);
        transfer.answered = answered;
        transfer.reply = {static_cast<long>(code), std::move(retryAfter), std::move(body)};
        transfer.error = std::move(error);
        transfer.done = true;
        transfer.changed.notify_all();
    }

    static std::string Reason(DWORD error) {
        switch (error) {
            case ERROR_WINHTTP_TIMEOUT: return "timed out";
            case ERROR_WINHTTP_CANNOT_CONNECT: return "could not connect";
            case ERROR_WINHTTP_CONNECTION_ERROR: return "the connection was reset";
            case ERROR_WINHTTP_NAME_NOT_RESOLVED: return "the host name could not be resolved";
            case ERROR_WINHTTP_SECURE_FAILURE: return "the certificate is not trusted";
            default: return "WinHTTP error " + std::to_string(error);
        }
    }

    [[noreturn]] static void fail(const std::string& address, const std::string& why) { http::Fail(address, why); }

    WaitPlan waits_;
    Handle session_;
    ProxyFinder proxies_;
    std::unique_ptr<Worker> worker_;  // after session_: it ends before the session closes
};

}  // namespace

std::unique_ptr<RecordSource> makeHttpRecordSource(HttpWaits waits, HttpTrust trust) {
    // The system's trusted certificates decide; a file of certificates of one's own is a Linux matter.
    if (!trust.caFile.empty()) throw PlatformError("a certificate file is not supported on Windows");
    return std::make_unique<WinHttpRecordSource>(waits);
}

}  // namespace platform
