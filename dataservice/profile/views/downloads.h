#pragma once
// The current collection as a file: CSV for spreadsheets, JSON for scripts. Texts are written
// as the journal writes them (escapeLine), so no control character or invalid UTF-8 leaves raw.
#include <string>
#include <string_view>
#include <vector>

#include "dataservice/http/message.h"
#include "dataservice/store/types.h"

namespace dataservice::profile {

// One RFC 4180 field. A value a spreadsheet would run as a formula (beginning with "=", "+",
// "-", "@", tab or CR) gets a leading "'" and quotes, as OWASP advises.
std::string csvCell(std::string_view value);
// "category,text,config_date" and a line per item, CRLF-terminated.
std::string itemsCsv(const std::vector<Item>& items);
std::string itemsJson(const Profile& profile, const Collection* collection, const std::vector<Item>& items);

// What the page's program filter shows: every item but the programs not containing `filter`
// (ASCII case ignored, matched against the text as shown).
std::vector<Item> filteredItems(std::vector<Item> items, std::string_view filter);

enum class DownloadKind { Csv, Json };
// The file as an attachment named after the profile and the collection's date.
HttpReply download(DownloadKind kind, const Profile& profile, const Collection* collection,
                   const std::vector<Item>& items);

}  // namespace dataservice::profile
