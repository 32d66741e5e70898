#include "dataservice/profile/views/downloads.h"


#include "dataservice/common/journal_format.h"
#include "dataservice/http/replies.h"
#include "dataservice/profile/views/dates.h"
#include "dataservice/store/categories.h"
#include "platform/common/text.h"

namespace dataservice::profile {
namespace {

std::string jsonOptional(const std::optional<std::string>& text) {
    return text ? text::JsonString(isoDate(*text)) : "null";
}

// Letters, digits, "-" and "_" of the name; anything else would need quoting in the header.
std::string fileNamePart(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (out.size() >= 64) break;
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_';
        out.push_back(plain ? c : '_');
    }
    return out.empty() ? "profile" : out;
}

}  // namespace

// Texts go out as stored, escaped only by the format's own rules; bytes that are not UTF-8
// become U+FFFD, as the files say they are UTF-8.
std::string csvCell(std::string_view stored) {
    const std::string value = text::RepairUtf8(stored);
    const bool formula = !value.empty() && (value.front() == '=' || value.front() == '+' || value.front() == '-' ||
                                            value.front() == '@' || value.front() == '\t' || value.front() == '\r');
    const bool quoted = formula || value.find_first_of(",\"\r\n") != std::string_view::npos;
    if (!quoted) return std::string(value);
    std::string out = formula ? "\"'" : "\"";
    for (const char c : value) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    return out + "\"";
}

std::string itemsCsv(const std::vector<Item>& items) {
    std::string out = "category,text,config_date\r\n";
    for (const Item& item : items) {
        out += csvCell(item.category) + "," + csvCell(item.text) + "," +
               (item.configDate ? csvCell(*item.configDate) : std::string()) + "\r\n";
    }
    return out;
}

std::string itemsJson(const Profile& profile, const Collection* collection, const std::vector<Item>& items) {
    std::string out = "{\n  \"profile\": {\"name\": " + text::JsonString(profile.name) + ", \"kind\": " +
                      (profile.kind == ProfileKind::Subscriber ? "\"subscriber\"" : "\"evaluation\"") +
                      ", \"created\": " + text::JsonString(isoDate(profile.created)) +
                      ", \"lastUpdate\": " + text::JsonString(isoDate(profile.lastUpdate)) + "},\n";
    if (collection)
        out += "  \"collection\": {\"started\": " + text::JsonString(isoDate(collection->started)) +
               ", \"completed\": " + jsonOptional(collection->completed) + "},\n";
    else
        out += "  \"collection\": null,\n";
    out += "  \"items\": [";
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        out += (i ? ",\n    " : "\n    ");
        out += "{\"category\": " + text::JsonString(item.category) + ", \"text\": " +
               text::JsonString(item.text) + ", \"configDate\": " +
               (item.configDate ? text::JsonString(*item.configDate) : std::string("null")) + "}";
    }
    out += items.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

std::vector<Item> filteredItems(std::vector<Item> items, std::string_view filter) {
    const std::string wanted = text::LowerAscii(text::Trim(filter));
    if (wanted.empty()) return items;
    std::erase_if(items, [&](const Item& item) {
        return item.category == category::kSoftware &&
               text::LowerAscii(escapeLine(item.text)).find(wanted) == std::string::npos;
    });
    return items;
}

HttpReply download(DownloadKind kind, const Profile& profile, const Collection* collection,
                   const std::vector<Item>& items) {
    const bool csv = kind == DownloadKind::Csv;
    HttpReply reply{200, csv ? "text/csv; charset=utf-8; header=present" : "application/json; charset=utf-8",
                    csv ? itemsCsv(items) : itemsJson(profile, collection, items), {}};
    addSecurityHeaders(reply);
    const std::string date =
        collection && collection->started.size() >= 10 ? fileNamePart(collection->started.substr(0, 10)) : "none";
    reply.headers.emplace_back("Content-Disposition", "attachment; filename=\"vantrel-" + fileNamePart(profile.name) +
                                                          "-" + date + (csv ? ".csv\"" : ".json\""));
    return reply;
}

}  // namespace dataservice::profile
