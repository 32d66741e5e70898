#include "dataservice/profile/views/views.h"

#include <array>
#include <map>

#include "dataservice/common/journal_format.h"
#include "dataservice/common/markup.h"
#include "dataservice/http/replies.h"
#include "dataservice/profile/views/dates.h"
#include "dataservice/profile/texts.h"
#include "dataservice/store/categories.h"
#include "platform/common/text.h"

namespace dataservice::profile {

namespace assets {
extern const std::string_view kStyle, kFilterScript;
}

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

// Stored items are bytes as sent; the page shows them as the journal writes them, so that a
// control character or a byte outside UTF-8 is visible as %XX instead of vanishing or garbling.
std::string shown(const std::string& text) { return htmlEscape(escapeLine(text)); }

std::string dateHtml(const std::string& stored) {
    return "<time datetime=\"" + htmlEscape(escapeLine(isoDate(stored))) + "\">" +
           htmlEscape(escapeLine(readableDate(stored))) + "</time>";
}

const char* kindLabel(Change::Kind kind) {
    switch (kind) {
        case Change::Kind::Added: return "Added";
        case Change::Kind::Removed: return "Removed";
        case Change::Kind::Updated: return "Updated";
    }
    return "";
}

std::string changesSection(const ProfileContent& content) {
    std::string body = "<section aria-labelledby=\"changes\">\n<h2 id=\"changes\">" +
                       std::string(texts::kChangesTitle) + "</h2>\n";
    if (content.collections.empty() || !content.compared) {
        body += "<p id=\"changes-none\">" + std::string(texts::kNothingToCompare) + "</p>\n</section>\n";
        return body;
    }
    const Collection& current = content.collections.front().collection;
    body += "<p>The collection started " + dateHtml(current.started) + " against the one started " +
            dateHtml(content.compared->started) + ".</p>\n";
    if (!current.completed)
        body += "<p class=\"message\" id=\"changes-incomplete\">" + std::string(texts::kIncompleteCollection) +
                "</p>\n";
    for (const Change::Kind kind : {Change::Kind::Added, Change::Kind::Removed, Change::Kind::Updated}) {
        const std::string label = kindLabel(kind);
        const std::string id = "changes-" + text::LowerAscii(label);
        std::string list;
        std::size_t count = 0;
        for (const Change& change : content.changes) {
            if (change.kind != kind) continue;
            ++count;
            const char* heading = headingOf(change.category);
            list += "<li><span class=\"category\">" + (heading ? std::string(heading) : shown(change.category)) +
                    ":</span> " + shown(change.text);
            if (kind == Change::Kind::Updated)
                list += " <span class=\"versions\">" + (change.oldVersion.empty() ? "(no version)" : shown(change.oldVersion)) +
                        " &rarr; " + (change.newVersion.empty() ? "(no version)" : shown(change.newVersion)) + "</span>";
            list += "</li>\n";
        }
        body += "<h3 id=\"" + id + "\">" + label + "</h3>\n";
        if (count == 0)
            body += "<p>None.</p>\n";
        else
            body += "<ul class=\"changes\" aria-labelledby=\"" + id + "\">\n" + list + "</ul>\n";
    }
    return body + "</section>\n";
}

std::string collectionsSection(const ProfileContent& content) {
    if (content.collections.empty()) return {};
    std::string body = "<section aria-labelledby=\"collections\">\n<h2 id=\"collections\">Collections kept</h2>\n"
                       "<table id=\"collection-list\">\n<thead><tr><th scope=\"col\">Started</th>"
                       "<th scope=\"col\">Completed</th><th scope=\"col\" class=\"count\">Items</th>"
                       "<th scope=\"col\" class=\"count\">Changes against the one before</th></tr></thead>\n<tbody>\n";
    for (const CollectionRow& row : content.collections) {
        body += "<tr><td>" + dateHtml(row.collection.started) + "</td><td>" +
                (row.collection.completed ? dateHtml(*row.collection.completed) : std::string("Not completed")) +
                "</td><td class=\"count\">" + std::to_string(row.collection.items) + "</td><td class=\"count\">" +
                (row.changes ? std::to_string(*row.changes) : std::string("&ndash;")) + "</td></tr>\n";
    }
    return body + "</tbody>\n</table>\n</section>\n";
}


std::string downloadLinks(const ProfileContent& content) {
    if (content.collections.empty()) return {};
    const std::string filter = content.filter.empty() ? "" : "&filter=" + text::PercentEncode(content.filter);
    return "<p class=\"downloads\" id=\"downloads\"><a id=\"download-csv\" href=\"hwsw.asp?download=csv" +
           htmlEscape(filter) + "\">Download CSV</a> <a id=\"download-json\" href=\"hwsw.asp?download=json" +
           htmlEscape(filter) + "\">Download JSON</a></p>\n";
}

std::string anchorOf(const std::string& category) { return "c-" + text::LowerAscii(category); }

HttpReply page(int status, const std::string& title, const std::string& body) {
    HttpReply reply{status, std::string(kHtmlType),
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

HttpReply asset(const char* type, std::string_view body) {
    HttpReply reply{200, type, std::string(body), {}};
    addSecurityHeaders(reply);
    return reply;
}

}  // namespace

HttpReply signInPage(int status, const SignInForm& form) {
    std::string body = "<header class=\"site\">\n<p>VantrelNet profile</p>\n</header>\n<main>\n<h1>" +
                       htmlEscape(texts::kSignInTitle) + "</h1>\n";
    if (!form.message.empty())
        body += "<p class=\"message\" role=\"alert\" id=\"signin-error\">" + htmlEscape(form.message) + "</p>\n";
    body += "<form class=\"card\" method=\"post\" action=\"hwsw.asp\">\n"
            "<p class=\"hint\" id=\"signin-hint\">" + htmlEscape(texts::kSignInIntro) + "</p>\n"
            "<input type=\"hidden\" name=\"action\" value=\"signin\">\n"
            "<input type=\"hidden\" name=\"form\" value=\"" + htmlEscape(form.formToken) + "\">\n"
            "<label for=\"uid\">Username</label>\n"
            "<input type=\"text\" id=\"uid\" name=\"UID\" autocomplete=\"username\" required autofocus"
            " aria-describedby=\"signin-hint\" value=\"" + htmlEscape(form.userName) + "\">\n"
            "<label for=\"pwd\">Password</label>\n"
            "<input type=\"password\" id=\"pwd\" name=\"PWD\" autocomplete=\"current-password\">\n"
            "<button type=\"submit\">Sign in</button>\n</form>\n</main>\n";
    return page(status, texts::kSignInTitle, body);
}

namespace {

// The items: a count per category, then each category's items, in the order their first item
// arrived and in arrival order within.
std::string itemSections(const ProfileContent& content) {
    const std::vector<Item>& items = content.items;
    std::string body;
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
                    "<input type=\"search\" id=\"program-filter-text\" aria-controls=\"programs\" value=\"" +
                    htmlEscape(content.filter) + "\">\n"
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
    return body;
}

}  // namespace

HttpReply profileView(const Profile& profile, const ProfileContent& content, const std::string& formToken) {
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
            "</dd>\n<dt>Created</dt><dd>" + dateHtml(profile.created) + "</dd>\n"
            "<dt>Last updated</dt><dd>" + dateHtml(profile.lastUpdate) + "</dd>\n"
            "<dt>Last run</dt><dd id=\"last-run\">" + run + "</dd>\n</dl>\n" + downloadLinks(content) + "</section>\n";
    body += changesSection(content);
    body += collectionsSection(content);

    body += itemSections(content);
    body += "</main>\n";
    return page(200, "VantrelNet profile of " + profile.name, body);
}

const HttpReply* staticFile(const std::string& name) {
    static const HttpReply script = asset("text/javascript; charset=utf-8", assets::kFilterScript);
    static const HttpReply style = asset("text/css; charset=utf-8", assets::kStyle);
    if (name == "filter.js") return &script;
    if (name == "profile.css") return &style;
    return nullptr;
}

}  // namespace dataservice::profile
