#include "dataservice/pages/site.h"

#include <algorithm>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "dataservice/http/replies.h"
#include "dataservice/pages/page_table.h"
#include "dataservice/profile/views/views.h"
#include "platform/common/text.h"

namespace dataservice {
namespace {

// The path's last segment, and the one before it (empty when there is none).
std::pair<std::string, std::string> lastSegments(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {path, ""};
    std::string last = path.substr(slash + 1);
    const std::size_t before = slash == 0 ? std::string::npos : path.rfind('/', slash - 1);
    std::string parent = before == std::string::npos ? path.substr(0, slash) : path.substr(before + 1, slash - before - 1);
    return {std::move(last), std::move(parent)};
}

bool isProfileFolder(const std::string& parent) { return text::EqualsNoCase(parent, "profile"); }

bool isProfilePage(const std::string& last, const std::string& parent) {
    return text::EqualsNoCase(last, "hwsw.asp") && isProfileFolder(parent);
}

// Passes on the first reply and drops any other, so that an error path taken after a reply
// (one that threw, say) cannot answer the same request twice. A reply that throws has been
// given all there is to give.
RequestHandler::Reply once(RequestHandler::Reply reply) {
    auto answered = std::make_shared<std::atomic<bool>>(false);
    return [answered, reply = std::move(reply)](HttpReply r) {
        if (answered->exchange(true)) return;
        try {
            reply(std::move(r));
        } catch (...) {
        }
    };
}

// What one key derivation costs here: the check queue's first estimate, before it has measured.
std::chrono::microseconds oneDerivation(int iterations) {
    const auto began = std::chrono::steady_clock::now();
    hashPassword("", iterations);
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - began);
}

}  // namespace

Pages::Pages(Store& store, JournalObserver observer, PagesOptions options)
    : store_(store),
      options_(options),
      passwords_(store, options.signIn),
      profilePage_(store, passwords_, options.sessionSeconds),
      collector_(store, passwords_, checks_, std::move(observer)),
      // A derivation keeps a core busy: more threads than cores would only queue them there.
      checks_(std::max(1u, std::thread::hardware_concurrency()), options.checkBound,
              oneDerivation(store.options().passwordIterations)),
      reads_(2) {}

HttpReply Pages::handle(const std::string& path, std::string_view rawQuery) {
    HttpRequest request;
    request.path = path;
    request.rawQuery = std::string(rawQuery);
    return handle(request);
}

HttpReply Pages::handle(const HttpRequest& request) {
    std::promise<HttpReply> answered;
    std::future<HttpReply> answer = answered.get_future();
    handle(request, [&answered](HttpReply reply) { answered.set_value(std::move(reply)); });
    return answer.get();
}

void Pages::handle(const HttpRequest& request, Reply replyOnce) {
    const Reply reply = once(std::move(replyOnce));
    maybePurge();
    std::optional<HttpReply> now;  // answered here, after the work, outside its error handling
    try {
        const auto [page, parent] = lastSegments(request.path);
        if (isProfilePage(page, parent) && (request.method == "GET" || request.method == "POST")) {
            // A sign-in may cost a key derivation and every view reads the store: neither on
            // the caller's thread, which serves other clients meanwhile.
            auto answer = [this, request, reply] {
                std::optional<HttpReply> out;
                try {
                    out = profilePage_.answer(request);
                } catch (const std::exception&) {
                    out = textReply(500, "internal error");
                }
                reply(std::move(*out));
            };
            if (request.method != "POST") return reads_.post(std::move(answer));
            if (const auto later = checks_.post(std::move(answer)))
                now = comeBackLater(503, "the service is busy checking passwords", *later);
            else
                return;
        }
        if (const HttpReply* file = isProfileFolder(parent) ? profile::staticFile(text::LowerAscii(page)) : nullptr)
            now = *file;
        else if (request.method != "GET")
            now = methodNotAllowed(allowedMethods(request.path));
        else
            collector_.handle(request, reply);
    } catch (const std::exception&) {
        // Thrown before the request was handed on (a key's text, memory): nobody else answers it.
        now = textReply(500, "internal error");
    }
    if (now) reply(std::move(*now));
}

HttpReply Pages::head(const HttpRequest& request) {
    const auto [page, parent] = lastSegments(request.path);
    HttpReply reply;
    if (isProfilePage(page, parent)) {
        reply = HttpReply{200, std::string(kHtmlType), "", {}};
    } else if (const HttpReply* file = isProfileFolder(parent) ? profile::staticFile(text::LowerAscii(page)) : nullptr) {
        reply = HttpReply{200, file->contentType, "", {}};
    } else if (findPage(page)) {
        reply = HttpReply{200, std::string(kRecordSetType), "", {}};
    } else {
        reply = HttpReply{404, std::string(kPlainTextType), "", {}};
    }
    addSecurityHeaders(reply);
    return reply;
}

std::string Pages::allowedMethods(const std::string& path) const {
    const auto [page, parent] = lastSegments(path);
    return isProfilePage(page, parent) ? "GET, HEAD, POST" : "GET, HEAD";
}

void Pages::maybePurge() noexcept {
    try {
        if (options_.purgeIntervalSeconds <= 0) return;  // swept on a timer of the server's
        const std::int64_t now = store_.now();
        std::int64_t last = lastPurge_.load();
        if (now - last < options_.purgeIntervalSeconds && last != 0) return;
        if (!lastPurge_.compare_exchange_strong(last, now)) return;  // another request sweeps
        // The writer sweeps a bite at a time between the transactions queued; nobody waits for it.
        store_.purgeInBackground();
    } catch (...) {
        // A sweep that fails is tried again at the next interval; the request goes on.
    }
}

}  // namespace dataservice
