#include "dataservice/pages.h"

#include <array>
#include <charconv>
#include <optional>
#include <vector>

#include "dataservice/recordset_writer.h"
#include "dataservice/text.h"

namespace dataservice {
namespace {

enum class Kind { Version, Account, Register, Reset, EvalReset, Upload, EvalUpload, Finalize };

struct PageDef {
    std::string name;
    Kind kind;
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

const std::vector<PageDef>& pageTable() {
    static const std::vector<PageDef> table = [] {
        std::vector<PageDef> t = {
            {"getversion.asp", Kind::Version, {"Major", "Minor", "Rev"}, "", "", ""},
            {"getdata.asp", Kind::Account, {"UID", "PWD"}, "", "", ""},
            {"gettemp.asp", Kind::Register, {"TempID"}, "", "", ""},
            {"updatedata.asp", Kind::Reset, {"UID", "PWD", "crDate", "luDate"}, "", "", ""},
            {"evalupdatedata.asp", Kind::EvalReset, {"UID"}, "", "", ""},
            {"finalize.asp", Kind::Finalize, {"UID", "PWD"}, "", "", ""},
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
            PageDef twin{std::string("eval") + u.name, Kind::EvalUpload, keys, std::string(u.category), u.dataKey,
                         u.dateKey};
            keys.emplace_back("PWD");
            t.push_back(PageDef{u.name, Kind::Upload, keys, std::string(u.category), u.dataKey, u.dateKey});
            t.push_back(std::move(twin));
        }
        return t;
    }();
    return table;
}

const PageDef* findPage(std::string_view name) {
    for (const PageDef& def : pageTable())
        if (equalsIgnoreCase(def.name, name)) return &def;
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

std::optional<std::int64_t> parseInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

HttpReply recordSet(const std::vector<Column>& columns, const std::vector<Row>& rows) {
    return HttpReply{200, std::string(kRecordSetType), writeRecordSet(columns, rows)};
}

// The answer of the pages whose reply the collector does not read: no records.
HttpReply emptyRecordSet(const char* column) { return recordSet({Column{column, ColumnType::String, 50}}, {}); }

HttpReply textReply(int status, std::string text) {
    return HttpReply{status, "text/plain; charset=utf-8", std::move(text) + "\n"};
}

HttpReply htmlReply(int status, const std::string& title, const std::string& body) {
    return HttpReply{status, "text/html; charset=utf-8",
                     "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                         htmlEscape(title) +
                         "</title>\n<style>body{font-family:sans-serif;margin:2em;max-width:60em}"
                         "h2{margin-top:1.5em}li{margin:.2em 0}</style>\n</head>\n<body>\n" +
                         body + "</body>\n</html>\n"};
}

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

HttpReply profilePage(Store& store, const Params& params) {
    const std::string* uid = findParam(params, "UID");
    if (!uid) {
        // The collector opens the page without a name, so offer to ask for one.
        return htmlReply(200, "VantrelNet profile",
                         "<h1>VantrelNet profile</h1>\n"
                         "<form method=\"get\" action=\"hwsw.asp\">\n"
                         "<label>User name or evaluation name: <input name=\"UID\" autofocus></label>\n"
                         "<button type=\"submit\">Show</button>\n</form>\n");
    }
    const auto profile = store.profileNamed(*uid);
    if (!profile)
        return htmlReply(404, "VantrelNet profile",
                         "<h1>VantrelNet profile</h1>\n<p>There is no profile named <strong>" + htmlEscape(*uid) +
                             "</strong>.</p>\n");
    const auto items = store.items(profile->id);
    std::string body = "<h1>Hardware and software of " + htmlEscape(profile->name) + "</h1>\n";
    body += "<p>" + std::string(profile->kind == ProfileKind::Subscriber ? "Subscriber" : "Evaluation") +
            " profile, created " + htmlEscape(profile->created) + ", last updated " + htmlEscape(profile->lastUpdate) +
            ".</p>\n";
    if (items.empty()) body += "<p>Nothing has been uploaded to this profile yet.</p>\n";
    for (const auto& [name, heading] : kCategoryHeadings) {
        std::string list;
        for (const Item& item : items) {
            if (item.category != name) continue;
            list += "<li>" + htmlEscape(item.text);
            if (item.configDate) list += " <small>(configuration date " + htmlEscape(*item.configDate) + ")</small>";
            list += "</li>\n";
        }
        if (!list.empty()) body += std::string("<h2>") + heading + "</h2>\n<ul>\n" + list + "</ul>\n";
    }
    return htmlReply(200, "VantrelNet profile of " + profile->name, body);
}

bool isProfilePage(const std::string& last, const std::string& parent) {
    return equalsIgnoreCase(last, "hwsw.asp") && equalsIgnoreCase(parent, "profile");
}

bool needsPassword(Kind kind) {
    return kind == Kind::Account || kind == Kind::Reset || kind == Kind::Upload || kind == Kind::Finalize;
}

}  // namespace

Pages::Pages(Store& store, JournalObserver observer) : store_(store), observer_(std::move(observer)) {}

HttpReply Pages::handle(const std::string& path, std::string_view rawQuery) {
    const auto [page, parent] = lastSegments(path);
    Params params;
    try {
        params = parseQuery(rawQuery);
        const PageDef* def = findPage(page);
        const bool profile = !def && isProfilePage(page, parent);

        // The slow password check runs before the transaction; the transaction then makes sure
        // the account still holds the hash that was checked.
        std::optional<Credentials> verified;
        const std::string* missing = nullptr;
        if (def) {
            for (const std::string& key : def->keys)
                if (!findParam(params, key)) {
                    missing = &key;
                    break;
                }
            if (!missing && needsPassword(def->kind)) {
                const std::string& uid = *findParam(params, "UID");
                const std::string& pwd = *findParam(params, "PWD");
                if (const auto creds = store_.credentials(uid)) {
                    if (verifier_.verify(uid, pwd, creds->passwordHash)) verified = creds;
                } else {
                    verifier_.burn(pwd, store_.options().passwordIterations);
                }
            }
        }

        JournalEntry entry;
        HttpReply reply = store_.transaction([&] {
            HttpReply r;
            if (profile) {
                r = profilePage(store_, params);
            } else if (!def) {
                r = textReply(404, "no such page");
            } else if (missing) {
                r = textReply(400, "missing key " + *missing);
            } else {
                const auto value = [&](const std::string& key) -> const std::string& { return *findParam(params, key); };
                std::optional<Credentials> account;
                if (verified && store_.credentials(value("UID")) == verified) account = verified;
                switch (def->kind) {
                    case Kind::Version: {
                        const auto major = parseInteger(value("Major"));
                        const auto minor = parseInteger(value("Minor"));
                        const auto rev = parseInteger(value("Rev"));
                        std::vector<Row> rows;
                        if (major && minor && rev && store_.isVersionAllowed(Version{*major, *minor, *rev}))
                            rows.push_back(Row{*major, *minor, *rev});
                        r = recordSet({{"Major", ColumnType::Int}, {"Minor", ColumnType::Int}, {"Rev", ColumnType::Int}},
                                      rows);
                        break;
                    }
                    case Kind::Account: {
                        std::vector<Row> rows;
                        if (account)
                            if (const auto p = store_.subscriber(value("UID")))
                                rows.push_back(Row{p->name, p->created, p->lastUpdate});
                        r = recordSet({{"UserName", ColumnType::String, 50},
                                       {"CrDate", ColumnType::DateTime},
                                       {"LuDate", ColumnType::DateTime}},
                                      rows);
                        break;
                    }
                    case Kind::Register:
                        store_.registerEvaluation(value("TempID"));
                        r = emptyRecordSet("TempID");
                        break;
                    case Kind::Reset:
                        if (account) store_.resetInventory(account->profileId);
                        r = emptyRecordSet("UID");
                        break;
                    case Kind::EvalReset:
                        if (const auto p = store_.evaluation(value("UID"))) store_.resetInventory(p->id);
                        r = emptyRecordSet("UID");
                        break;
                    case Kind::Upload:
                    case Kind::EvalUpload: {
                        std::optional<std::int64_t> owner;
                        if (def->kind == Kind::Upload && account) owner = account->profileId;
                        if (def->kind == Kind::EvalUpload)
                            if (const auto p = store_.evaluation(value("UID"))) owner = p->id;
                        if (owner) {
                            std::optional<std::string> date;
                            if (!def->dateKey.empty()) date = value(def->dateKey);
                            store_.addItem(*owner, def->category, value(def->dataKey), date);
                        }
                        r = emptyRecordSet("UID");
                        break;
                    }
                    case Kind::Finalize:
                        if (account) store_.finalizeRun(account->profileId);
                        r = emptyRecordSet("UID");
                        break;
                }
            }
            entry = store_.appendJournal(path, page, params, r.status);
            return r;
        });
        notify(entry);
        return reply;
    } catch (const std::exception&) {
        // The work was rolled back; still say in the journal that the request came.
        return refused(500, path, rawQuery);
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

HttpReply Pages::refused(int status, const std::string& path, std::string_view rawQuery) {
    const auto page = lastSegments(path).first;
    try {
        notify(store_.transaction([&] { return store_.appendJournal(path, page, parseQuery(rawQuery), status); }));
    } catch (const std::exception&) {
        // Nothing more can be done about a journal that cannot be written.
    }
    switch (status) {
        case 414: return textReply(status, "request too long");
        case 500: return textReply(status, "internal error");
        case 404: return textReply(status, "no such page");
        default: return textReply(status, "bad request");
    }
}

}  // namespace dataservice
