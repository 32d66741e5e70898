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

bool isProfilePage(const HttpRequest& request) {
    return text::EqualsNoCase(request.page, "hwsw.asp") && inProfileFolder(request);
}

// The profile's style sheet or script when the request asks for one of them, else nullptr.
const HttpReply* profileFile(const HttpRequest& request) {
    return inProfileFolder(request) ? profile::staticFile(text::LowerAscii(request.page)) : nullptr;
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

bool inProfileFolder(const HttpRequest& request) { return text::EqualsNoCase(request.folder, "profile"); }

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
    setPath(request, path);
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
        if (isProfilePage(request) && (request.method == "GET" || request.method == "POST")) {
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
        if (const HttpReply* file = profileFile(request))
            now = *file;
        else if (request.method != "GET")
            now = methodNotAllowed(allowedMethods(request));
        else
            collector_.handle(request, reply);
    } catch (const std::exception&) {
        // Thrown before the request was handed on (a key's text, memory): nobody else answers it.
        now = textReply(500, "internal error");
    }
    if (now) reply(std::move(*now));
}

HttpReply Pages::head(const HttpRequest& request) {
    HttpReply reply;
    if (isProfilePage(request)) {
        reply = HttpReply{200, std::string(kHtmlType), "", {}};
    } else if (const HttpReply* file = profileFile(request)) {
        reply = HttpReply{200, file->contentType, "", {}};
    } else if (findPage(request.page)) {
        reply = HttpReply{200, std::string(kRecordSetType), "", {}};
    } else {
        reply = HttpReply{404, std::string(kPlainTextType), "", {}};
    }
    addSecurityHeaders(reply);
    return reply;
}

std::string Pages::allowedMethods(const HttpRequest& request) const {
    return isProfilePage(request) ? "GET, HEAD, POST" : "GET, HEAD";
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
