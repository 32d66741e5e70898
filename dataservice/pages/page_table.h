#pragma once
// The collector's pages: which keys each one takes, who it acts for, and what it stores and
// answers. One handler per kind of page; the upload pages share one, told apart by their
// category and data key.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dataservice/common/params.h"
#include "dataservice/http/message.h"
#include "dataservice/store/store.h"

namespace dataservice {

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
    // Upload pages: a subscriber's password proven against this hash, not yet checked against the
    // account (the upload checks it as it stores).
    std::optional<std::string> provenHash;
    // Called when the account no longer holds provenHash, before the commit returns.
    std::function<void()> onStale;
    const std::string& value(const std::string& key) const { return *findParam(params, key); }
};

using PageHandler = HttpReply (*)(PageCall&);

struct PageDef {
    std::string name;
    PageHandler handler;
    Auth auth;
    std::vector<std::string> keys;  // every one must be present, in any order
    std::string category;           // upload pages
    std::string dataKey;            // upload pages: the key whose value is the item text
    std::string dateKey;            // the BIOS pages: the configuration date
};

// The page of that name (ASCII case-insensitive), or nullptr.
const PageDef* findPage(std::string_view name);
// Every page's name, as findPage spells it.
std::vector<std::string> pageNames();

// The answer of the pages whose reply the collector does not read: no records.
HttpReply emptyRecordSet(std::string_view column);

}  // namespace dataservice
