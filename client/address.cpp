// Request addresses, the site root of ServerPath and the public web site's address.
#include <cctype>
#include <string>

#include "client/service.h"
#include "platform/common/text.h"

namespace service {
namespace {

bool schemeCharacter(unsigned char c, bool first) {
    if (std::isalpha(c)) return true;
    return !first && (std::isdigit(c) || c == '+' || c == '-' || c == '.');
}

}  // namespace

std::string BuildAddress(const std::string& serverPath, const Request& request) {
    std::string address = serverPath + request.page;
    char separator = '?';
    for (const auto& [key, value] : request.query) {
        address += separator;
        address += key;
        address += '=';
        address += text::PercentEncode(value);  // on the wire only the unreserved characters go as they are
        separator = '&';
    }
    return address;
}

const std::string& SiteAddress() {
    static const std::string address = VANTREL_SITE_ADDRESS;
    return address;
}

std::string SiteAddressWithPath(const std::string& path) { return SiteAddress() + path; }

std::string AroundSiteAddress(std::string_view lead, std::string_view tail) { return AroundSiteAddress(lead, "", tail); }

std::string AroundSiteAddress(std::string_view lead, const std::string& path, std::string_view tail) {
    std::string text(lead);
    text += SiteAddressWithPath(path);
    text += tail;
    return text;
}

std::optional<std::string> SiteRoot(const std::string& serverPath) {
    const auto separator = serverPath.find("://");
    if (separator == std::string::npos || separator == 0) return std::nullopt;
    for (std::size_t i = 0; i < separator; ++i)
        if (!schemeCharacter(static_cast<unsigned char>(serverPath[i]), i == 0)) return std::nullopt;
    const std::size_t hostStart = separator + 3;
    std::size_t hostEnd = serverPath.find_first_of("/?#", hostStart);
    if (hostEnd == std::string::npos) hostEnd = serverPath.size();
    if (hostEnd == hostStart) return std::nullopt;
    for (std::size_t i = hostStart; i < hostEnd; ++i)
        if (static_cast<unsigned char>(serverPath[i]) <= ' ') return std::nullopt;
    return serverPath.substr(0, hostEnd) + "/";
}

}  // namespace service
