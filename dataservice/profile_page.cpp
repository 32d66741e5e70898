#include "dataservice/profile_page.h"

#include <array>
#include <map>

#include "dataservice/text.h"
#include "platform/common/text.h"

namespace dataservice::profile {
namespace {

const std::array<std::pair<std::string_view, const char*>, 8> kCategoryHeadings = {{
    {category::kSoftware, "Installed software"},
    {category::kSound, "Sound devices"},
    {category::kVideo, "Video controllers"},
    {category::kPrinter, "Printers"},
    {category::kMakeAndModel, "Make and model"},
    {category::kBios, "BIOS"},
    {category::kOperatingSystem, "Operating system"},
    {category::kNetworkAdapter, "Network adapters"},
}};

const char* headingOf(const std::string& category) {
    for (const auto& [name, heading] : kCategoryHeadings)
        if (name == category) return heading;
    return nullptr;
}

// Stored items are bytes as sent; the page shows them as valid UTF-8.
std::string shown(const std::string& text) { return htmlEscape(repairUtf8(text, true)); }

std::string anchorOf(const std::string& category) { return "c-" + ::text::LowerAscii(category); }

HttpReply page(int status, const std::string& title, const std::string& body) {
    HttpReply reply{status, "text/html; charset=utf-8",
                    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
                        htmlEscape(title) +
                        "</title>\n<link rel=\"stylesheet\" href=\"profile.css\">\n"
                        "<script src=\"filter.js\" defer></script>\n</head>\n<body>\n" +
                        body + "</body>\n</html>\n",
                    {}};
    addSecurityHeaders(reply);
    return reply;
}

const char kStyle[] = R"CSS(:root { color-scheme: light; --ink: #1d2330; --muted: #545b6b; --line: #d5d9e2; --accent: #1f5fae; }
* { box-sizing: border-box; }
body { margin: 0; font: 16px/1.5 "DejaVu Sans", "Liberation Sans", sans-serif; color: var(--ink); background: #f5f6f9; }
header.site { background: var(--accent); color: #fff; padding: .75rem 1rem; display: flex; flex-wrap: wrap;
  align-items: center; justify-content: space-between; gap: .5rem; }
header.site p { margin: 0; font-weight: bold; }
header.site form { margin: 0; display: flex; align-items: center; gap: .75rem; }
main { max-width: 48rem; margin: 1.5rem auto; padding: 0 1rem; }
h1 { font-size: 1.5rem; margin: 0 0 1rem; }
h2 { font-size: 1.15rem; margin: 0 0 .5rem; }
section, .card { background: #fff; border: 1px solid var(--line); border-radius: 6px; padding: 1rem 1.25rem;
  margin-bottom: 1rem; }
dl.facts { display: grid; grid-template-columns: max-content 1fr; gap: .25rem 1rem; margin: 0; }
dl.facts dt { font-weight: bold; color: var(--muted); }
dl.facts dd { margin: 0; }
table { border-collapse: collapse; width: 100%; }
caption { text-align: left; font-weight: bold; margin-bottom: .25rem; }
th, td { text-align: left; padding: .25rem .5rem; border-bottom: 1px solid var(--line); }
td.count { text-align: right; width: 6rem; }
ol.items { margin: 0; padding-left: 1.5rem; }
ol.items li { margin: .15rem 0; overflow-wrap: anywhere; }
ol.items small { color: var(--muted); }
label { display: block; font-weight: bold; margin: .75rem 0 .25rem; }
input[type=text], input[type=password], input[type=search] { display: block; width: 100%; max-width: 24rem; padding: .5rem;
  font: inherit; border: 1px solid #8a92a3; border-radius: 4px; }
button { font: inherit; padding: .45rem 1.1rem; border-radius: 4px; border: 1px solid var(--accent);
  background: var(--accent); color: #fff; cursor: pointer; margin-top: 1rem; }
header.site button { margin: 0; background: #fff; color: var(--accent); }
button:focus-visible, input:focus-visible { outline: 3px solid #f0b400; outline-offset: 2px; }
.message { border-left: 4px solid #b3261e; background: #fbeaea; padding: .5rem .75rem; margin: 0 0 1rem; }
.notice { border-left: 4px solid #2e7d32; background: #eaf5ea; padding: .5rem .75rem; margin: 0 0 1rem; }
.hint { color: var(--muted); margin: .25rem 0 0; }
.filter { margin-bottom: .75rem; }
.filter label { margin-top: 0; }
)CSS";

const char kFilterScript[] = R"JS(// Narrows the list of installed programs to those containing the typed text.
// Without this script the page lists every program; the box stays hidden.
"use strict";
document.addEventListener("DOMContentLoaded", function () {
  var box = document.getElementById("program-filter");
  var list = document.getElementById("programs");
  if (!box || !list) return;
  var input = box.querySelector("input");
  var status = document.getElementById("program-filter-status");
  var items = Array.prototype.slice.call(list.querySelectorAll("li"));
  box.hidden = false;
  function apply() {
    var wanted = input.value.trim().toLowerCase();
    var shown = 0;
    items.forEach(function (item) {
      var match = wanted === "" || item.textContent.toLowerCase().indexOf(wanted) !== -1;
      item.hidden = !match;
      if (match) shown += 1;
    });
    status.textContent = wanted === "" ? "" : shown + " of " + items.length + " programs shown";
  }
  input.addEventListener("input", apply);
  apply();
});
)JS";

HttpReply asset(const char* type, const char* body) {
    HttpReply reply{200, type, body, {}};
    addSecurityHeaders(reply);
    return reply;
}

}  // namespace

void addSecurityHeaders(HttpReply& reply) {
    reply.headers.emplace_back("Content-Security-Policy",
                               "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                               "form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
    reply.headers.emplace_back("X-Content-Type-Options", "nosniff");
    reply.headers.emplace_back("X-Frame-Options", "DENY");
    reply.headers.emplace_back("Referrer-Policy", "no-referrer");
    reply.headers.emplace_back("Cache-Control", "no-store");
}

std::string cookie(const char* name, const std::string& value, long maxAge, bool secure) {
    return std::string(name) + "=" + value + "; Path=" + kCookiePath + "; HttpOnly; SameSite=Strict" +
           (secure ? "; Secure" : "") + "; Max-Age=" + std::to_string(maxAge);
}

HttpReply signInPage(int status, const SignInForm& form) {
    std::string body = "<header class=\"site\">\n<p>VantrelNet profile</p>\n</header>\n<main>\n<h1>" +
                       htmlEscape(text::kSignInTitle) + "</h1>\n";
    if (form.signedOut) body += "<p class=\"notice\" role=\"status\">" + htmlEscape(text::kSignedOut) + "</p>\n";
    if (!form.message.empty())
        body += "<p class=\"message\" role=\"alert\" id=\"signin-error\">" + htmlEscape(form.message) + "</p>\n";
    body += "<form class=\"card\" method=\"post\" action=\"hwsw.asp\">\n"
            "<p class=\"hint\" id=\"signin-hint\">" + htmlEscape(text::kSignInIntro) + "</p>\n"
            "<input type=\"hidden\" name=\"action\" value=\"signin\">\n"
            "<input type=\"hidden\" name=\"form\" value=\"" + htmlEscape(form.formToken) + "\">\n"
            "<label for=\"uid\">Username</label>\n"
            "<input type=\"text\" id=\"uid\" name=\"UID\" autocomplete=\"username\" required autofocus"
            " aria-describedby=\"signin-hint\" value=\"" + htmlEscape(repairUtf8(form.userName, true)) + "\">\n"
            "<label for=\"pwd\">Password</label>\n"
            "<input type=\"password\" id=\"pwd\" name=\"PWD\" autocomplete=\"current-password\">\n"
            "<button type=\"submit\">Sign in</button>\n</form>\n</main>\n";
    return page(status, text::kSignInTitle, body);
}

HttpReply profileView(const Profile& profile, const std::vector<Item>& items, const std::string& formToken) {
    const std::string name = shown(profile.name);
    std::string body = "<header class=\"site\">\n<p>VantrelNet profile</p>\n"
                       "<form method=\"post\" action=\"hwsw.asp\">\n<span>Signed in as " + name + "</span>\n"
                       "<input type=\"hidden\" name=\"action\" value=\"signout\">\n"
                       "<input type=\"hidden\" name=\"form\" value=\"" + htmlEscape(formToken) + "\">\n"
                       "<button type=\"submit\">Sign out</button>\n</form>\n</header>\n<main>\n";
    body += "<h1>Hardware and software of " + name + "</h1>\n";

    const char* run = "No run yet";
    if (profile.runStarted) run = profile.runCompleted ? "Completed" : "Not completed (the last run did not finish)";
    body += "<section aria-labelledby=\"about\">\n<h2 id=\"about\">About this profile</h2>\n<dl class=\"facts\">\n"
            "<dt>Kind</dt><dd>" + std::string(profile.kind == ProfileKind::Subscriber ? "Subscriber" : "Evaluation") +
            "</dd>\n<dt>Created</dt><dd>" + htmlEscape(profile.created) + "</dd>\n"
            "<dt>Last updated</dt><dd>" + htmlEscape(profile.lastUpdate) + "</dd>\n"
            "<dt>Last run</dt><dd id=\"last-run\">" + run + "</dd>\n</dl>\n</section>\n";

    // Categories in the order their first item arrived; items in arrival order.
    std::vector<std::string> order;
    std::map<std::string, std::vector<const Item*>> groups;
    for (const Item& item : items) {
        auto& group = groups[item.category];
        if (group.empty()) order.push_back(item.category);
        group.push_back(&item);
    }
    if (items.empty()) {
        body += "<section>\n<p>Nothing has been uploaded to this profile yet.</p>\n</section>\n";
    } else {
        body += "<section aria-labelledby=\"counts\">\n<h2 id=\"counts\">Items per category</h2>\n<table>\n"
                "<thead><tr><th scope=\"col\">Category</th><th scope=\"col\" class=\"count\">Items</th></tr></thead>\n"
                "<tbody>\n";
        for (const std::string& category : order) {
            const char* heading = headingOf(category);
            body += "<tr><td><a href=\"#" + htmlEscape(anchorOf(category)) + "\">" +
                    (heading ? std::string(heading) : shown(category)) + "</a></td><td class=\"count\">" +
                    std::to_string(groups[category].size()) + "</td></tr>\n";
        }
        body += "</tbody>\n</table>\n</section>\n";
    }
    for (const std::string& category : order) {
        const char* heading = headingOf(category);
        const std::string id = htmlEscape(anchorOf(category));
        body += "<section aria-labelledby=\"" + id + "\">\n<h2 id=\"" + id + "\">" +
                (heading ? std::string(heading) : shown(category)) + "</h2>\n";
        const bool software = category == category::kSoftware;
        if (software)
            body += "<div class=\"filter\" id=\"program-filter\" hidden>\n"
                    "<label for=\"program-filter-text\">Filter the programs</label>\n"
                    "<input type=\"search\" id=\"program-filter-text\" aria-controls=\"programs\">\n"
                    "<p class=\"hint\" id=\"program-filter-status\" role=\"status\" aria-live=\"polite\"></p>\n"
                    "</div>\n";
        body += software ? "<ol class=\"items\" id=\"programs\">\n" : "<ol class=\"items\">\n";
        for (const Item* item : groups[category]) {
            body += "<li>" + shown(item->text);
            if (item->configDate) body += " <small>(configuration date " + shown(*item->configDate) + ")</small>";
            body += "</li>\n";
        }
        body += "</ol>\n</section>\n";
    }
    body += "</main>\n";
    return page(200, "VantrelNet profile of " + repairUtf8(profile.name, true), body);
}

const HttpReply* staticFile(const std::string& name) {
    static const HttpReply script = asset("text/javascript; charset=utf-8", kFilterScript);
    static const HttpReply style = asset("text/css; charset=utf-8", kStyle);
    if (name == "filter.js") return &script;
    if (name == "profile.css") return &style;
    return nullptr;
}

}  // namespace dataservice::profile
