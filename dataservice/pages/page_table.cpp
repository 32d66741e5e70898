#include "dataservice/pages/page_table.h"

#include "dataservice/http/replies.h"
#include "dataservice/pages/recordset_writer.h"
#include "dataservice/store/categories.h"
#include "platform/common/text.h"

namespace dataservice {
namespace {

struct UploadDef {
    const char* name;
    std::string_view category;
    const char* dataKey;
    const char* dateKey;
};

HttpReply recordSet(const std::vector<Column>& columns, const std::vector<Row>& rows) {
    HttpReply reply{200, std::string(kRecordSetType), writeRecordSet(columns, rows), {}};
    addSecurityHeaders(reply);
    return reply;
}

HttpReply versionPage(PageCall& call) {
    const auto major = text::ParseSigned<std::int64_t>(call.value("Major"));
    const auto minor = text::ParseSigned<std::int64_t>(call.value("Minor"));
    const auto rev = text::ParseSigned<std::int64_t>(call.value("Rev"));
    std::vector<Row> rows;
    if (major && minor && rev && call.store.versions().isAllowed(Version{*major, *minor, *rev}))
        rows.push_back(Row{*major, *minor, *rev});
    return recordSet({{"Major", ColumnType::Int}, {"Minor", ColumnType::Int}, {"Rev", ColumnType::Int}}, rows);
}

HttpReply accountPage(PageCall& call) {
    std::vector<Row> rows;
    if (call.owner)
        if (const auto p = call.store.profiles().subscriber(call.value("UID")))
            rows.push_back(Row{p->name, p->created, p->lastUpdate});
    return recordSet(
        {{"UserName", ColumnType::String, 50}, {"CrDate", ColumnType::DateTime}, {"LuDate", ColumnType::DateTime}}, rows);
}

HttpReply registerPage(PageCall& call) {
    call.store.profiles().registerEvaluation(call.value("TempID"));
    return emptyRecordSet("TempID");
}

HttpReply resetPage(PageCall& call) {
    if (call.owner) {
        call.store.inventory().reset(*call.owner);
        call.store.profiles().touchEvaluation(*call.owner);
    }
    return emptyRecordSet("UID");
}

HttpReply uploadPage(PageCall& call) {
    if (call.owner) {
        std::optional<std::string> date;
        if (!call.def.dateKey.empty()) date = call.value(call.def.dateKey);
        call.store.inventory().add(*call.owner, call.def.category, call.value(call.def.dataKey), date);
        if (call.def.auth == Auth::Evaluation) call.store.profiles().touchEvaluation(*call.owner);
    } else if (call.provenHash) {
        std::optional<std::string> date;
        if (!call.def.dateKey.empty()) date = call.value(call.def.dateKey);
        call.store.inventory().addIfHolds(call.value("UID"), *call.provenHash, call.def.category,
                                          call.value(call.def.dataKey), date, [onStale = call.onStale](bool held) {
                                              if (!held && onStale) onStale();
                                          });
    }
    return emptyRecordSet("UID");
}

HttpReply finalizePage(PageCall& call) {
    if (call.owner) call.store.inventory().finalize(*call.owner);
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

}  // namespace

const PageDef* findPage(std::string_view name) {
    for (const PageDef& def : pageTable())
        if (text::EqualsNoCase(def.name, name)) return &def;
    return nullptr;
}

std::vector<std::string> pageNames() {
    std::vector<std::string> names;
    for (const PageDef& def : pageTable()) names.push_back(def.name);
    return names;
}

// Made once: it is the answer to nearly every request.
HttpReply emptyRecordSet(std::string_view column) {
    static const HttpReply uid = recordSet({Column{"UID", ColumnType::String, 50}}, {});
    static const HttpReply tempId = recordSet({Column{"TempID", ColumnType::String, 50}}, {});
    if (column == "UID") return uid;
    if (column == "TempID") return tempId;
    return recordSet({Column{std::string(column), ColumnType::String, 50}}, {});
}

}  // namespace dataservice
