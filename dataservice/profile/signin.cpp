#include "dataservice/profile/signin.h"

#include <optional>
#include <string>
#include <string_view>

#include "dataservice/common/params.h"
#include "dataservice/http/replies.h"
#include "dataservice/profile/views/downloads.h"
#include "dataservice/profile/texts.h"
#include "dataservice/profile/views/views.h"

namespace dataservice::profile {
namespace {

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

// "NAME=VALUE; Path=/profile/; HttpOnly; SameSite=Strict[; Secure]; Max-Age=N".
std::string cookie(const char* name, const std::string& value, long maxAge, bool secure) {
    return std::string(name) + "=" + value + "; Path=" + kCookiePath + "; HttpOnly; SameSite=Strict" +
           (secure ? "; Secure" : "") + "; Max-Age=" + std::to_string(maxAge);
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

HttpReply redirect(std::string setCookie) {
    HttpReply reply = textReply(303, "see hwsw.asp");
    reply.headers.emplace_back("Location", "hwsw.asp");
    reply.headers.emplace_back("Set-Cookie", std::move(setCookie));
    return reply;
}

// The current collection, the kept ones with their change counts, and what changed since the
// last completed collection before the current one.
ProfileContent pageContent(Store& store, const Profile& profile) {
    ProfileContent content;
    content.items = store.inventory().items(profile.id);
    const std::vector<Collection> kept = store.inventory().collections(profile.id);
    std::vector<std::vector<Item>> items(kept.size());
    for (std::size_t i = 1; i < kept.size(); ++i) items[i] = store.inventory().collectionItems(profile.id, kept[i].id);
    if (!kept.empty()) items[0] = content.items;
    std::vector<std::vector<Change>> againstBefore(kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        CollectionRow row{kept[i], std::nullopt};
        if (i + 1 < kept.size()) {
            againstBefore[i] = compareCollections(items[i + 1], items[i]);
            row.changes = againstBefore[i].size();
        }
        content.collections.push_back(std::move(row));
    }
    for (std::size_t i = 1; i < kept.size(); ++i) {
        if (!kept[i].completed) continue;
        content.compared = kept[i];
        content.changes = i == 1 ? std::move(againstBefore[0]) : compareCollections(items[i], items[0]);
        break;
    }
    return content;
}

}  // namespace

HttpReply ProfilePage::signedInView(const Profile& p, const Session& session, const Params& query) {
    const std::string* filter = findParam(query, "filter");
    if (const std::string* wanted = findParam(query, "download")) {
        if (*wanted != "csv" && *wanted != "json") return textReply(404, "no such download");
        const auto kept = store_.inventory().collections(p.id);
        return download(*wanted == "csv" ? DownloadKind::Csv : DownloadKind::Json, p, kept.empty() ? nullptr : &kept.front(),
                        filteredItems(store_.inventory().items(p.id), filter ? *filter : ""));
    }
    ProfileContent content = pageContent(store_, p);
    if (filter) content.filter = *filter;
    return profileView(p, content, session.csrfToken);
}

std::optional<std::int64_t> ProfilePage::signIn(const std::string& name, const std::string& password,
                                                const std::string& address) {
    const SignInLimits& limits = passwords_.limits();
    if (store_.profiles().credentials(name)) {
        const auto creds = passwords_.check(name, password, address);
        if (!creds) return std::nullopt;
        store_.signIns().clear(name);
        return creds->profileId;
    }
    if (!store_.signIns().allowed(name, address, limits)) return std::nullopt;
    // An evaluation username is all an evaluating user has; guessing one counts as a failure.
    if (const auto p = store_.profiles().evaluation(name)) return p->id;
    // As long as a subscriber's wrong password takes, so that the time does not tell which
    // names exist.
    passwords_.verifier().burn(password, store_.options().passwordIterations);
    store_.signIns().recordFailure(name, address, limits);
    return std::nullopt;
}

HttpReply ProfilePage::answer(const HttpRequest& request) {
    const std::string sessionToken = cookieValue(request.cookies, kSessionCookie);
    const std::string sessionKey = wellFormedToken(sessionToken) ? tokenDigest(sessionToken) : std::string();
    std::optional<Session> session;
    if (!sessionKey.empty()) session = store_.sessions().find(sessionKey);

    // The sign-in form's token: kept in a cookie and in the form, so a post must come from our page.
    std::string formToken = cookieValue(request.cookies, kFormCookie);
    const bool haveFormToken = wellFormedToken(formToken);
    const auto formPage = [&](int status, SignInForm form) {
        if (!haveFormToken) formToken = randomToken();
        form.formToken = formToken;
        HttpReply reply = signInPage(status, form);
        reply.headers.emplace_back("Set-Cookie", cookie(kFormCookie, formToken, sessionSeconds_, request.secure));
        return reply;
    };

    if (request.method != "POST") {
        const Params query = parseQuery(request.rawQuery);
        if (session)
            if (const auto p = store_.profiles().byId(session->profileId)) return signedInView(*p, *session, query);
        SignInForm form;
        if (const std::string* uid = findParam(query, "UID")) form.userName = *uid;
        return formPage(200, form);
    }

    const Params form = parseQuery(request.body);
    const std::string* action = findParam(form, "action");
    const std::string* token = findParam(form, "form");
    if (action && *action == "signout") {
        // Only the signed-in page holds the session's own form token.
        if (session && token && sameOrigin(request) && constantTimeEquals(*token, session->csrfToken))
            store_.sessions().end(sessionKey);
        return redirect(cookie(kSessionCookie, "", 0, request.secure));
    }
    const std::string* uid = findParam(form, "UID");
    const std::string* pwd = findParam(form, "PWD");
    SignInForm again;
    if (uid) again.userName = *uid;
    if (!action || *action != "signin" || !token || !haveFormToken || !sameOrigin(request) ||
        !constantTimeEquals(*token, formToken)) {
        again.message = texts::kFormExpired;
        return formPage(403, again);
    }

    const auto profileId = signIn(uid ? *uid : std::string(), pwd ? *pwd : std::string(), request.clientAddress);
    if (!profileId) {
        again.message = texts::kWrongPassword;
        return formPage(200, again);
    }
    const std::string newToken = randomToken();
    store_.sessions().create(tokenDigest(newToken), *profileId, randomToken(), sessionSeconds_);
    return redirect(cookie(kSessionCookie, newToken, sessionSeconds_, request.secure));
}

}  // namespace dataservice::profile
