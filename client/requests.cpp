// Every page of the data service and its query keys, in the order the service expects them.
// An evaluating user's uploads go to the twin page: "eval" in front, EvalID as UID, no PWD.
#include <stdexcept>
#include <string>
#include <vector>

#include "client/service.h"

namespace service {
namespace {

constexpr const char* kVersionPage = "getversion.asp";
constexpr const char* kAccountPage = "getdata.asp";
constexpr const char* kRegistrationPage = "gettemp.asp";
constexpr const char* kProfileResetPage = "updatedata.asp";
constexpr const char* kFinalizePage = "finalize.asp";
constexpr const char* kEvalPrefix = "eval";
constexpr const char* kProfilePage = "profile/hwsw.asp";  // at the site root, not below ServerPath

constexpr const char* kMajor = "Major";
constexpr const char* kMinor = "Minor";
constexpr const char* kRevision = "Rev";
constexpr const char* kUser = "UID";
constexpr const char* kPassword = "PWD";
constexpr const char* kTempId = "TempID";
constexpr const char* kCreated = "crDate";
constexpr const char* kLastUpdated = "luDate";

struct UploadPage {
    Upload upload;
    const char* page;
    std::vector<const char*> dataKeys;  // between UID and PWD
};

const std::vector<UploadPage>& uploadPages() {
    static const std::vector<UploadPage> pages = {
        {Upload::Software, "sftdata.asp", {"qIS"}},
        {Upload::Sound, "sounddata.asp", {"Sound"}},
        {Upload::Video, "videodata.asp", {"Video"}},
        {Upload::Printer, "printdata.asp", {"Printer"}},
        {Upload::MakeAndModel, "MMSdata.asp", {"MMS"}},
        {Upload::Bios, "mainhwddata.asp", {"ConfigDate", "BIOS"}},
        {Upload::OperatingSystem, "OSdata.asp", {"OS"}},
        {Upload::NetworkCard, "NICdata.asp", {"NIC"}},
    };
    return pages;
}

const UploadPage& uploadPage(Upload upload) {
    for (const UploadPage& p : uploadPages())
        if (p.upload == upload) return p;
    throw std::invalid_argument("unknown upload page");
}

}  // namespace

Request VersionRequest(int major, int minor, int revision) {
    return {kVersionPage,
            {{kMajor, std::to_string(major)}, {kMinor, std::to_string(minor)}, {kRevision, std::to_string(revision)}}};
}

Request AccountRequest(const std::string& userName, const std::string& userPassword) {
    return {kAccountPage, {{kUser, userName}, {kPassword, userPassword}}};
}

Request RegistrationRequest(const std::string& evalId) { return {kRegistrationPage, {{kTempId, evalId}}}; }

Request ProfileResetRequest(const Identity& who, platform::Date created, platform::Date lastUpdated) {
    if (!who.isSubscriber) return {std::string(kEvalPrefix) + kProfileResetPage, {{kUser, who.evalId}}};
    return {kProfileResetPage,
            {{kUser, who.userName},
             {kPassword, who.userPassword},
             {kCreated, DateText(created)},
             {kLastUpdated, DateText(lastUpdated)}}};
}

Request UploadRequest(Upload page, const Identity& who, const std::vector<std::string>& data) {
    const UploadPage& target = uploadPage(page);
    if (data.size() != target.dataKeys.size())
        throw std::invalid_argument(std::string(target.page) + " takes " + std::to_string(target.dataKeys.size()) +
                                    " data values, not " + std::to_string(data.size()));
    Request request;
    request.page = who.isSubscriber ? std::string(target.page) : std::string(kEvalPrefix) + target.page;
    request.query.emplace_back(kUser, who.isSubscriber ? who.userName : who.evalId);
    for (std::size_t i = 0; i < data.size(); ++i) request.query.emplace_back(target.dataKeys[i], data[i]);
    if (who.isSubscriber) request.query.emplace_back(kPassword, who.userPassword);
    return request;
}

Request FinalizeRequest(const Identity& who) {
    if (!who.isSubscriber) throw std::logic_error("an evaluating user's run has no closing request");
    return {kFinalizePage, {{kUser, who.userName}, {kPassword, who.userPassword}}};
}

std::optional<std::string> ProfileAddress(const std::string& serverPath) {
    const auto root = SiteRoot(serverPath);
    if (!root) return std::nullopt;
    return *root + kProfilePage;
}

}  // namespace service
