// Record sets over HTTP: a blocking GET through one reused curl handle, so that the many
// small requests of a run share a kept-alive connection. Every wait is bounded; after the service
// stopped answering, the requests that follow in quick succession get only a short wait, so a
// run against a dead service ends in minutes, while each of them still reaches a service that is
// back. Requests go through the proxy that libproxy finds for their address (the environment,
// the desktop's settings, a PAC file), as the system's own programs do.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>

#include <curl/curl.h>
#include <proxy.h>

#include "platform/common/errors.h"
#include "platform/common/text.h"
#include "platform/recordset/http_reply.h"
#include "platform/recordset/recordset.h"
#include "platform/recordset/wait_plan.h"

namespace platform {
namespace {

using http::kMaxReplyBytes;

void initialiseCurl() {
    static const CURLcode status = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (status != CURLE_OK)
        throw PlatformError(std::string("the HTTP library cannot start: ") + curl_easy_strerror(status));
}

// A proxy address curl can use, or "" to go direct.
std::string usableProxy(char** proxies) {
    for (std::size_t i = 0; proxies && proxies[i]; ++i) {
        const std::string proxy = proxies[i];
        if (proxy.rfind("direct://", 0) == 0) return "";
        for (const char* scheme : {"http://", "https://", "socks4://", "socks4a://", "socks5://", "socks5h://"})
            if (text::StartsWithNoCase(proxy, scheme)) return proxy;
    }
    return "";  // nothing usable named: as a browser would, go direct
}

class ProxyFinder {
public:
    ~ProxyFinder() {
        if (factory_) px_proxy_factory_free(factory_);
    }
    // By origin: libproxy's answer depends on nothing else that varies within a run, and asking
    // it (a PAC script may run) for every request would be costly.
    const std::string& For(const std::string& address) {
        const std::string origin = http::OriginOf(address);
        auto found = known_.find(origin);
        if (found != known_.end()) return found->second;
        if (!factory_) factory_ = px_proxy_factory_new();
        std::string proxy;
        if (factory_) {
            char** proxies = px_proxy_factory_get_proxies(factory_, address.c_str());
            proxy = usableProxy(proxies);
            px_proxy_factory_free_proxies(proxies);
        }
        return known_.emplace(origin, std::move(proxy)).first->second;
    }

private:
    pxProxyFactory* factory_ = nullptr;
    std::unordered_map<std::string, std::string> known_;
};

class HttpRecordSource final : public RecordSource {
public:
    HttpRecordSource(HttpWaits waits, const HttpTrust& trust) : waits_(waits) {
        initialiseCurl();
        curl_ = curl_easy_init();
        if (!curl_) throw PlatformError("the HTTP library cannot make a connection handle");
        set(CURLOPT_NOSIGNAL, 1L);  // time-outs without SIGALRM
        set(CURLOPT_PROTOCOLS_STR, "http,https");
        set(CURLOPT_SSL_VERIFYPEER, 1L);
        set(CURLOPT_SSL_VERIFYHOST, 2L);
        if (!trust.caFile.empty()) {
            set(CURLOPT_CAINFO, trust.caFile.c_str());
            set(CURLOPT_CAPATH, static_cast<const char*>(nullptr));
        }
        set(CURLOPT_FOLLOWLOCATION, 0L);
        // Announced sizes are refused before any byte arrives; the write callback covers the rest.
        set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxReplyBytes));
        set(CURLOPT_WRITEFUNCTION, &HttpRecordSource::receive);
        set(CURLOPT_WRITEDATA, this);
        set(CURLOPT_ERRORBUFFER, error_);
    }

    ~HttpRecordSource() override { curl_easy_cleanup(curl_); }

    HttpRecordSource(const HttpRecordSource&) = delete;
    HttpRecordSource& operator=(const HttpRecordSource&) = delete;

    RecordSet Open(const std::string& address) override { return Fetch(address, false); }
    RecordSet OpenBriefly(const std::string& address) override { return Fetch(address, true); }

private:
    RecordSet Fetch(const std::string& address, bool brief) {
        http::RequireHttpAddress(address);
        body_.clear();
        tooLarge_ = false;
        error_[0] = '\0';
        set(CURLOPT_HTTPGET, 1L);
        set(CURLOPT_URL, address.c_str());
        // "" keeps curl from reading the proxy variables itself: libproxy has the last word.
        set(CURLOPT_PROXY, proxies_.For(address).c_str());
        ChooseWait(brief);

        const CURLcode status = curl_easy_perform(curl_);
        // Only a service that did not answer starts or lengthens the streak; an error page, an
        // over-long reply or one that is no record set still came from a live service.
        waits_.Ended(status == CURLE_OK || tooLarge_ || status == CURLE_FILESIZE_EXCEEDED);
        if (tooLarge_ || status == CURLE_FILESIZE_EXCEEDED) fail(address, http::TooLargeReason());
        if (status != CURLE_OK) fail(address, error_[0] ? error_ : curl_easy_strerror(status));

        http::Reply reply;
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &reply.status);
        curl_header* retryAfter = nullptr;
        if (curl_easy_header(curl_, "Retry-After", 0, CURLH_HEADER, -1, &retryAfter) == CURLHE_OK)
            reply.retryAfter = retryAfter->value;
        reply.body.swap(body_);
        return http::ReadReply(address, reply);
    }

    void ChooseWait(bool brief) {
        const WaitPlan::Wait wait = waits_.Next(brief);
        set(CURLOPT_CONNECTTIMEOUT_MS, wait.connectMs);
        set(CURLOPT_TIMEOUT_MS, wait.totalMs);
    }

    template <typename T>
    void set(CURLoption option, T value) {
        const CURLcode status = curl_easy_setopt(curl_, option, value);
        if (status != CURLE_OK)
            throw PlatformError(std::string("the HTTP library refused an option: ") + curl_easy_strerror(status));
    }

    [[noreturn]] void fail(const std::string& address, const std::string& why) {
        body_.clear();
        http::Fail(address, why);
    }

    static std::size_t receive(char* data, std::size_t size, std::size_t count, void* user) {
        auto* self = static_cast<HttpRecordSource*>(user);
        const std::size_t bytes = size * count;
        if (self->body_.size() + bytes > kMaxReplyBytes) {
            self->tooLarge_ = true;
            return 0;  // anything short of `bytes` aborts the transfer
        }
        self->body_.append(data, bytes);
        return bytes;
    }

    WaitPlan waits_;
    ProxyFinder proxies_;
    CURL* curl_ = nullptr;
    std::string body_;
    bool tooLarge_ = false;
    char error_[CURL_ERROR_SIZE] = {};
};

}  // namespace

std::unique_ptr<RecordSource> makeHttpRecordSource(HttpWaits waits, HttpTrust trust) {
    return std::make_unique<HttpRecordSource>(waits, trust);
}

}  // namespace platform
