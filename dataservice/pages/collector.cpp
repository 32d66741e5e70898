#include "dataservice/pages/collector.h"

#include <chrono>
#include <optional>
#include <string>

#include "dataservice/http/replies.h"
#include "dataservice/pages/page_table.h"

namespace dataservice {
namespace {
// Below the collector's shortest wait for a service that has just failed it (50 ms).
constexpr auto kNobodyGivesUpSooner = std::chrono::milliseconds(20);

HttpReply tooManyFailures(const SignInLimits& limits) {
    return comeBackLater(429, "too many failed sign-ins from here or for this name", limits.windowSeconds);
}

// Busy is said as busy, with a time to come back; anything else is the service's fault.
HttpReply failure(const std::exception_ptr& error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const StoreBusy&) {
        return comeBackLater(503, "the service is busy", 2);
    } catch (...) {
    }
    return textReply(500, "internal error");
}
}  // namespace

struct CollectorPages::Call {
    const PageDef* def;
    Params params;
    std::string path, page, clientAddress;
    std::function<bool()> clientGone;
    RequestHandler::Reply reply;
    std::chrono::steady_clock::time_point handedAt = std::chrono::steady_clock::now();
    std::optional<Credentials> verified;  // password pages: the hash the password was proven against
    bool fromMemory = false;              // proven by the memory of an earlier check, not by this one
    bool stale = false;                   // the account no longer holds the remembered hash
    std::optional<std::int64_t> staleEntry;  // the journal entry of the attempt that found it so
    // What its transaction made, once committed.
    std::optional<HttpReply> out;
    std::optional<JournalEntry> entry;
    const std::string& value(const std::string& key) const { return *findParam(params, key); }
};

void CollectorPages::handle(const HttpRequest& request, const RequestHandler::Reply& reply) {
    Params params = parseQuery(request.rawQuery);
    const PageDef* def = findPage(request.page);
    // Refused before any work: nothing stored, nothing journalled.
    if (!def) return reply(textReply(404, "no such page"));
    for (const std::string& key : def->keys)
        if (!findParam(params, key)) return reply(textReply(400, "missing key " + key));

    auto call = std::make_shared<Call>(
        Call{def, std::move(params), request.path, request.page, request.clientAddress, request.clientGone, reply});
    if (def->auth != Auth::Password) return commit(call);
    // A pair proven a moment ago needs no read of the account before the transaction, which
    // stores only while the account still holds the hash it was proven against.
    if (auto hash = passwords_.verifier().rememberedHash(call->value("UID"), call->value("PWD"))) {
        call->verified = Credentials{0, std::move(*hash)};
        call->fromMemory = true;
        return commit(call);
    }
    check(call);
}

// Anything but a remembered pair may cost a key derivation: not on the caller's thread, which
// has other clients to serve meanwhile.
void CollectorPages::check(const std::shared_ptr<Call>& call) {
    const auto later = checks_.post([this, call] {
        std::optional<HttpReply> refused;
        try {
            bool limited = false;
            call->verified = passwords_.check(call->value("UID"), call->value("PWD"), call->clientAddress, &limited);
            // A refusal, not a wrong password: the collector must not count it as stored.
            if (limited) refused = tooManyFailures(passwords_.limits());
        } catch (const std::exception&) {
            refused = textReply(500, "internal error");
        }
        if (refused) return call->reply(std::move(*refused));
        commit(call);
    });
    if (later) call->reply(comeBackLater(503, "the service is busy checking passwords", *later));
}

void CollectorPages::commit(const std::shared_ptr<Call>& call) noexcept {
    const auto work = [this, call] {
        call->out.reset();
        call->entry.reset();
        call->stale = false;
        // A client that gave up waiting (its password check or the queue took too long) has
        // counted this request as failed and gone on; running it now could undo what it sent
        // since, as a late profile reset deletes the items uploaded after it. No client gives up
        // sooner than the shortest wait a collector allows, so a request that has not waited
        // that long is not asked.
        if (call->clientGone && std::chrono::steady_clock::now() - call->handedAt > kNobodyGivesUpSooner &&
            call->clientGone()) {
            call->out = textReply(503, "the client has gone");
            return;
        }
        const PageDef& def = *call->def;
        const SignInLimits& limits = passwords_.limits();
        if (def.auth == Auth::Evaluation && !store_.signIns().allowed("", call->clientAddress, limits)) {
            call->out = tooManyFailures(limits);
            return;
        }
        if (call->staleEntry) store_.journal().forget(*call->staleEntry);
        PageCall pc{store_, def, call->params, {}};
        if (def.auth == Auth::Password && call->verified && !def.category.empty()) {
            pc.provenHash = call->verified->passwordHash;  // an upload: checked as it is stored
            if (call->fromMemory) pc.onStale = [call] { call->stale = true; };
        } else if (def.auth == Auth::Password && call->verified) {
            const auto current = store_.profiles().credentials(call->value("UID"));
            if (current && current->passwordHash == call->verified->passwordHash) {
                pc.owner = current->profileId;
            } else if (call->fromMemory) {
                call->stale = true;
                return;
            }
        }
        if (def.auth == Auth::Evaluation) {
            if (const auto p = store_.profiles().evaluation(call->value("UID")))
                pc.owner = p->id;
            else  // walking the identifier space counts against the address; one lost name does not
                store_.signIns().recordUnknownName(call->value("UID"), call->clientAddress, limits);
        }
        HttpReply r = def.handler(pc);
        store_.journal().send(call->path, call->page, call->params, r.status, call->entry);
        call->out = std::move(r);
    };
    const auto done = [this, call](std::exception_ptr error) {
        if (!error && call->stale) return checkAgain(call);
        if (error || !call->out) return call->reply(failure(error));
        if (call->entry) notify(*call->entry);
        call->reply(std::move(*call->out));
    };
    try {
        store_.submit(work, done);
    } catch (...) {
        call->reply(textReply(500, "internal error"));
    }
}

// The account changed since its pair was remembered (made again, a new password): the
// memory is wrong, not the client, so the request is checked in full as if it had just come.
void CollectorPages::checkAgain(const std::shared_ptr<Call>& call) noexcept {
    passwords_.verifier().forget(call->value("UID"), call->value("PWD"));
    call->fromMemory = false;
    call->stale = false;
    if (call->entry) call->staleEntry = call->entry->seq;
    call->entry.reset();
    try {
        check(call);
    } catch (...) {
        call->reply(textReply(500, "internal error"));
    }
}

void CollectorPages::notify(const JournalEntry& entry) noexcept {
    if (!observer_) return;
    try {
        observer_(entry);
    } catch (...) {
        // The entry is in the database; a failing copy elsewhere must not fail the request.
    }
}

}  // namespace dataservice
