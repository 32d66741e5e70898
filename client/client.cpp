// The one way to call the data service, and the hand-off of an address to the browser.
#include <exception>

#include "client/service.h"

namespace service {

ServiceReply ServiceClient::ServiceRequest(const Request& request) const {
    return source_.Open(BuildAddress(serverPath_, request));
}

ServiceReply ServiceClient::BriefServiceRequest(const Request& request) const {
    return source_.OpenBriefly(BuildAddress(serverPath_, request));
}

void OpenInBrowser(platform::Shell& shell, const std::string& address, const std::string& verb,
                   platform::WindowHandle owner) {
    try {
        shell.Execute(address, verb, owner);
    } catch (const std::exception&) {
        // A browser that cannot be started is not the user's problem at this point.
    }
}

}  // namespace service
