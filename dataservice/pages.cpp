#include "dataservice/pages.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <future>
#include <thread>
#include <optional>
#include <vector>

#include "dataservice/profile_page.h"
#include "dataservice/recordset_writer.h"
#include "dataservice/text.h"
#include "platform/common/text.h"

namespace dataservice {
namespace {

// Who a page acts for, established before its transaction starts.
enum class Auth { None, Password, Evaluation };

struct PageDef;

// What a page's handler gets: the store inside the request's transaction, the decoded keys,
// and the profile it may act on (the verified subscriber, or the registered evaluation).
struct PageCall {
    Store& store;
    const PageDef& def;
    const Params& params;
    std::optional<std::int64_t> owner;
    const std::string& value(const std::string& key) const { return *findParam(params, key); }
};

using Handler = HttpReply (*)(PageCall&);

struct PageDef {
    std::string name;
    Handler handler;
    Auth auth;
    std::vector<std::string> keys;  // every one must be present, in any order
    std::string category;           // upload pages
    std::string dataKey;            // upload pages: the key whose value is the item text
    std::string dateKey;            // the BIOS pages: the configuration date
};

struct UploadDef {
    const char* name;
    std::string_view category;
    const char* dataKey;
    const char* dateKey;
};

std::optional<std::int64_t> parseInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

HttpReply recordSet(const std::vector<Column>& columns, const std::vector<Row>& rows) {
    HttpReply reply{200, std::string(kRecordSetType), writeRecordSet(columns, rows), {}};
    profile::addSecurityHeaders(reply);
    return reply;
}

// The answer of the pages whose reply the collector does not read: no records. Made once: it
// is the answer to nearly every request.
HttpReply emptyRecordSet(std::string_view column) {
    static const HttpReply uid = recordSet({Column{"UID", ColumnType::String, 50}}, {});
    static const HttpReply tempId = recordSet({Column{"TempID", ColumnType::String, 50}}, {});
    if (column == "UID") return uid;
    if (column == "TempID") return tempId;
    return recordSet({Column{std::string(column), ColumnType::String, 50}}, {});
}

HttpReply textReply(int status, std::string text) {
    HttpReply reply{status, "text/plain; charset=utf-8", std::move(text) + "\n", {}};
    profile::addSecurityHeaders(reply);
    return reply;
}

HttpReply versionPage(PageCall& call) {
    const auto major = parseInteger(call.value("Major"));
    const auto minor = parseInteger(call.value("Minor"));
    const auto rev = parseInteger(call.value("Rev"));
    std::vector<Row> rows;
    if (major && minor && rev && call.store.isVersionAllowed(Version{*major, *minor, *rev}))
        rows.push_back(Row{*major, *minor, *rev});
    return recordSet({{"Major", ColumnType::Int}, {"Minor", ColumnType::Int}, {"Rev", ColumnType::Int}}, rows);
}

HttpReply accountPage(PageCall& call) {
    std::vector<Row> rows;
    if (call.owner)
        if (const auto p = call.store.subscriber(call.value("UID"))) rows.push_back(Row{p->name, p->created, p->lastUpdate});
    return recordSet(
        {{"UserName", ColumnType::String, 50}, {"CrDate", ColumnType::DateTime}, {"LuDate", ColumnType::DateTime}}, rows);
}

HttpReply registerPage(PageCall& call) {
    call.store.registerEvaluation(call.value("TempID"));
    return emptyRecordSet("TempID");
}

HttpReply resetPage(PageCall& call) {
    if (call.owner) {
        call.store.resetInventory(*call.owner);
        call.store.touchEvaluation(*call.owner);
    }
    return emptyRecordSet("UID");
}

HttpReply uploadPage(PageCall& call) {
    if (call.owner) {
        std::optional<std::string> date;
        if (!call.def.dateKey.empty()) date = call.value(call.def.dateKey);
        call.store.addItem(*call.owner, call.def.category, call.value(call.def.dataKey), date);
        if (call.def.auth == Auth::Evaluation) call.store.touchEvaluation(*call.owner);
    }
    return emptyRecordSet("UID");
}

HttpReply finalizePage(PageCall& call) {
    if (call.owner) call.store.finalizeRun(*call.owner);
    return emptyRecordSet("UID");
}

const std::vector<PageDef>& pageTable() {
    static const std::vector<PageDef> table = [] {
        std::vector<PageDef> t = {
            {"getversion.asp", versionPage, Auth::None, {"Major", "Minor", "Rev"}, "", "", ""},
            {"getdata.asp", accountPage, Auth::Password, {"UID", "PWD"}, "", "", ""},
            {"gettemp.asp", registerPage, Auth::None, {"TempID"}, "", "", ""},
            {"updatedata.asp", resetPage, Auth::Password, {"UID", "PWD", "crDate", "luDate"}, "", "", ""},
            {"evalupdatedata.asp", resetPage, Auth::Evaluation, {"UID"}, "", "", ""},
            {"finalize.asp", finalizePage, Auth::Password, {"UID", "PWD"}, "", "", ""},
        };
        const UploadDef uploads[] = {
            {"sftdata.asp", category::kSoftware, "qIS", ""},
            {"sounddata.asp", category::kSound, "Sound", ""},
            {"videodata.asp", category::kVideo, "Video", ""},
            {"printdata.asp", category::kPrinter, "Printer", ""},
            {"MMSdata.asp", category::kMakeAndModel, "MMS", ""},
            {"mainhwddata.asp", category::kBios, "BIOS", "ConfigDate"},
            {"OSdata.asp", category::kOperatingSystem, "OS", ""},
            {"NICdata.asp", category::kNetworkAdapter, "NIC", ""},
        };
        for (const UploadDef& u : uploads) {
            std::vector<std::string> keys = {"UID"};
            if (*u.dateKey) keys.emplace_back(u.dateKey);
            keys.emplace_back(u.dataKey);
            PageDef twin{std::string("eval") + u.name, uploadPage, Auth::Evaluation, keys, std::string(u.category),
                         u.dataKey, u.dateKey};
            keys.emplace_back("PWD");
            t.push_back(PageDef{u.name, uploadPage, Auth::Password, keys, std::string(u.category), u.dataKey,
                                u.dateKey});
            t.push_back(std::move(twin));
        }
        return t;
    }();
    return table;
}

const PageDef* findPage(std::string_view name) {
    for (const PageDef& def : pageTable())
        if (text::EqualsNoCase(def.name, name)) return &def;
    return nullptr;
}

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

// The value of cookie `name` in a Cookie header, or empty.
std::string cookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const std::size_t semi = header.find(';');
        std::string_view piece = header.substr(0, semi);
        header = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
        while (!piece.empty() && piece.front() == ' ') piece.remove_prefix(1);
        const std::size_t eq = piece.find('=');
        if (eq != std::string_view::npos && piece.substr(0, eq) == name) return std::string(piece.substr(eq + 1));
    }
    return {};
}

// A token of ours has this form; anything else is ignored before it reaches the database.
bool wellFormedToken(const std::string& token) {
    if (token.size() != 64) return false;
    for (const char c : token)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// A cross-site post carries another site's Origin. A browser that sends none, or "null" (as it
// does under Referrer-Policy: no-referrer), still needs the form token, which only our page and
// our SameSite cookie hold.
bool sameOrigin(const HttpRequest& request) {
    if (request.origin.empty() || request.origin == "null") return true;
    return request.origin == std::string(request.secure ? "https://" : "http://") + request.host;
}

}  // namespace

Pages::Pages(Store& store, JournalObserver observer, PagesOptions options)
    : store_(store),
      observer_(std::move(observer)),
      options_(options),
      // A derivation keeps a core busy: more threads than cores would only queue them there.
      checks_(std::max(1u, std::thread::hardware_concurrency())) {}

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

void Pages::handle(const HttpRequest& request, Reply reply) {
    maybePurge();
    try {
        const auto [page, parent] = lastSegments(request.path);
        if (isProfileFolder(parent)) {
            // A sign-in may cost a key derivation: not on the caller's thread either.
            if (isProfilePage(page, parent) && request.method == "POST") {
                checks_.post([this, request, reply] {
                    try {
                        reply(profilePage(request));
                    } catch (const std::exception&) {
                        reply(textReply(500, "internal error"));
                    }
                });
                return;
            }
            if (isProfilePage(page, parent)) return reply(profilePage(request));
            if (const HttpReply* file = profile::staticFile(text::LowerAscii(page))) return reply(*file);
        }
        if (request.method != "GET") return reply(methodNotAllowed(allowedMethods(request.path)));
    } catch (const std::exception&) {
        return reply(textReply(500, "internal error"));
    }
    try {
        collectorPage(request, reply);
    } catch (const std::exception&) {
        // Thrown before the page was handed on (a key's text, memory): nobody else answers it.
        reply(textReply(500, "internal error"));
    }
}

HttpReply Pages::head(const HttpRequest& request) {
    const auto [page, parent] = lastSegments(request.path);
    HttpReply reply;
    if (isProfilePage(page, parent)) {
        reply = HttpReply{200, "text/html; charset=utf-8", "", {}};
    } else if (const HttpReply* file = isProfileFolder(parent) ? profile::staticFile(text::LowerAscii(page)) : nullptr) {
        reply = HttpReply{200, file->contentType, "", {}};
    } else if (findPage(page)) {
        reply = HttpReply{200, std::string(kRecordSetType), "", {}};
    } else {
        reply = HttpReply{404, "text/plain; charset=utf-8", "", {}};
    }
    profile::addSecurityHeaders(reply);
    return reply;
}

HttpReply Pages::methodNotAllowed(std::string_view allow) {
    HttpReply reply = textReply(405, "method not allowed");
    reply.headers.emplace_back("Allow", std::string(allow));
    return reply;
}

std::string Pages::allowedMethods(const std::string& path) {
    const auto [page, parent] = lastSegments(path);
    return isProfilePage(page, parent) ? "GET, HEAD, POST" : "GET, HEAD";
}

std::optional<Credentials> Pages::checkPassword(const std::string& name, const std::string& password,
                                                const std::string& address, bool* limited) {
    if (limited) *limited = false;
    const auto creds = store_.credentials(name);
    // A pair proven right a moment ago costs nothing and cannot be a guess: a collector's run
    // goes on even while someone else is locked out of the account by failing.
    if (creds && verifier_.remembered(name, password, creds->passwordHash)) return creds;
    if (!store_.signInAllowed(name, address, options_.signIn)) {
        if (limited) *limited = true;
        return std::nullopt;
    }
    if (creds && verifier_.verify(name, password, creds->passwordHash)) return creds;
    if (!creds) verifier_.burn(password, store_.options().passwordIterations);
    store_.recordSignInFailure(name, address, options_.signIn);
    return std::nullopt;
}

namespace {
// Below the collector's shortest wait for a service that has just failed it (50 ms).
constexpr auto kNobodyGivesUpSooner = std::chrono::milliseconds(20);
}  // namespace

// A collector page on its way through the password check and the writer.
struct Pages::CollectorCall {
    const PageDef* def;
    Params params;
    std::string path, page, clientAddress;
    std::function<bool()> clientGone;
    Reply reply;
    std::chrono::steady_clock::time_point handedAt = std::chrono::steady_clock::now();
    std::optional<Credentials> verified;  // password pages: the hash the password was proven against
    // What its transaction made, once committed.
    std::optional<HttpReply> out;
    std::optional<JournalEntry> entry;
    const std::string& value(const std::string& key) const { return *findParam(params, key); }
};

void Pages::collectorPage(const HttpRequest& request, Reply reply) {
    const std::string page = lastSegments(request.path).first;
    Params params = parseQuery(request.rawQuery);
    const PageDef* def = findPage(page);
    // Refused before any work: nothing stored, nothing journalled.
    if (!def) return reply(textReply(404, "no such page"));
    for (const std::string& key : def->keys)
        if (!findParam(params, key)) return reply(textReply(400, "missing key " + key));

    auto call = std::make_shared<CollectorCall>(CollectorCall{def, std::move(params), request.path, page,
                                                              request.clientAddress, request.clientGone,
                                                              std::move(reply)});
    if (def->auth != Auth::Password) return commitCollectorPage(call);
    // A pair proven a moment ago needs no read of the account before the transaction, which
    // stores only while the account still holds the hash it was proven against.
    if (auto hash = verifier_.rememberedHash(call->value("UID"), call->value("PWD"))) {
        call->verified = Credentials{0, std::move(*hash)};
        return commitCollectorPage(call);
    }
    // Anything else may cost a key derivation: not on the caller's thread, which has other
    // clients to serve meanwhile.
    checks_.post([this, call] {
        try {
            bool limited = false;
            call->verified = checkPassword(call->value("UID"), call->value("PWD"), call->clientAddress, &limited);
            // Answered as a wrong password would be, without a trace: a flood leaves nothing.
            if (limited) {
                PageCall pc{store_, *call->def, call->params, {}};
                return call->reply(call->def->handler(pc));
            }
        } catch (const std::exception&) {
            return call->reply(textReply(500, "internal error"));
        }
        commitCollectorPage(call);
    });
}

void Pages::commitCollectorPage(const std::shared_ptr<CollectorCall>& call) noexcept {
    const auto work = [this, call] {
        call->out.reset();
        call->entry.reset();
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
        if (def.auth == Auth::Evaluation && !store_.signInAllowed("", call->clientAddress, options_.signIn)) {
            call->out = emptyRecordSet("UID");
            return;
        }
        PageCall pc{store_, def, call->params, {}};
        if (def.auth == Auth::Password && call->verified) {
            const auto current = store_.credentials(call->value("UID"));
            if (current && current->passwordHash == call->verified->passwordHash) pc.owner = current->profileId;
        }
        if (def.auth == Auth::Evaluation) {
            if (const auto p = store_.evaluation(call->value("UID")))
                pc.owner = p->id;
            else  // walking the identifier space counts against the address
                store_.recordSignInFailure("", call->clientAddress, options_.signIn);
        }
        HttpReply r = def.handler(pc);
        call->entry = store_.appendJournal(call->path, call->page, call->params, r.status);
        call->out = std::move(r);
    };
    const auto done = [this, call](std::exception_ptr error) {
        if (error || !call->out) return call->reply(textReply(500, "internal error"));
        if (call->entry) notify(*call->entry);
        call->reply(std::move(*call->out));
    };
    try {
        store_.submit(work, done);
    } catch (...) {
        call->reply(textReply(500, "internal error"));
    }
}

HttpReply Pages::profilePage(const HttpRequest& request) {
    const std::string sessionToken = cookieValue(request.cookies, profile::kSessionCookie);
    const std::string sessionKey = wellFormedToken(sessionToken) ? tokenDigest(sessionToken) : std::string();
    std::optional<Session> session;
    if (!sessionKey.empty()) session = store_.session(sessionKey);

    // The sign-in form's token: kept in a cookie and in the form, so a post must come from our page.
    std::string formToken = cookieValue(request.cookies, profile::kFormCookie);
    const bool haveFormToken = wellFormedToken(formToken);
    const auto formPage = [&](int status, profile::SignInForm form) {
        if (!haveFormToken) formToken = randomToken();
        form.formToken = formToken;
        HttpReply reply = profile::signInPage(status, form);
        reply.headers.emplace_back("Set-Cookie", profile::cookie(profile::kFormCookie, formToken,
                                                                 options_.sessionSeconds, request.secure));
        return reply;
    };
    const auto redirect = [](std::string setCookie) {
        HttpReply reply{303, "text/plain; charset=utf-8", "see hwsw.asp\n", {{"Location", "hwsw.asp"}}};
        reply.headers.emplace_back("Set-Cookie", std::move(setCookie));
        profile::addSecurityHeaders(reply);
        return reply;
    };

    if (request.method == "GET") {
        if (session)
            if (const auto p = store_.profileById(session->profileId))
                return profile::profileView(*p, store_.items(p->id), session->csrfToken);
        profile::SignInForm form;
        const Params query = parseQuery(request.rawQuery);
        if (const std::string* uid = findParam(query, "UID")) form.userName = *uid;
        return formPage(200, form);
    }
    if (request.method != "POST") return methodNotAllowed(allowedMethods(request.path));

    const Params form = parseQuery(request.body);
    const std::string* action = findParam(form, "action");
    const std::string* token = findParam(form, "form");
    if (action && *action == "signout") {
        // Only the signed-in page holds the session's own form token.
        if (session && token && sameOrigin(request) && constantTimeEquals(*token, session->csrfToken))
            store_.endSession(sessionKey);
        return redirect(profile::cookie(profile::kSessionCookie, "", 0, request.secure));
    }
    const std::string* uid = findParam(form, "UID");
    const std::string* pwd = findParam(form, "PWD");
    profile::SignInForm again;
    if (uid) again.userName = *uid;
    if (!action || *action != "signin" || !token || !haveFormToken || !sameOrigin(request) ||
        !constantTimeEquals(*token, formToken)) {
        again.message = profile::text::kFormExpired;
        return formPage(403, again);
    }

    std::optional<std::int64_t> profileId;
    const std::string name = uid ? *uid : std::string();
    const std::string password = pwd ? *pwd : std::string();
    if (store_.credentials(name)) {
        if (const auto creds = checkPassword(name, password, request.clientAddress)) {
            profileId = creds->profileId;
            store_.clearSignInFailures(name);
        }
    } else if (store_.signInAllowed(name, request.clientAddress, options_.signIn)) {
        // An evaluation username is all an evaluating user has; guessing one counts as a failure.
        if (const auto p = store_.evaluation(name))
            profileId = p->id;
        else
            store_.recordSignInFailure(name, request.clientAddress, options_.signIn);
    }
    if (!profileId) {
        again.message = profile::text::kWrongPassword;
        return formPage(200, again);
    }
    const std::string newToken = randomToken();
    store_.createSession(tokenDigest(newToken), *profileId, randomToken(), options_.sessionSeconds);
    return redirect(profile::cookie(profile::kSessionCookie, newToken, options_.sessionSeconds, request.secure));
}

void Pages::maybePurge() noexcept {
    try {
        const std::int64_t now = store_.now();
        std::int64_t last = lastPurge_.load();
        if (now - last < options_.purgeIntervalSeconds && last != 0) return;
        if (!lastPurge_.compare_exchange_strong(last, now)) return;  // another request sweeps
        // The writer sweeps before the transactions queued after it; nobody waits for it.
        store_.submit([this] { store_.purgeExpired(); }, [](std::exception_ptr) {});
    } catch (...) {
        // A sweep that fails is tried again at the next interval; the request goes on.
    }
}

void Pages::notify(const JournalEntry& entry) noexcept {
    if (!observer_) return;
    try {
        observer_(entry);
    } catch (...) {
        // The entry is in the database; a failing copy elsewhere must not fail the request.
    }
}

}  // namespace dataservice
