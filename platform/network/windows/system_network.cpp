// The machine's IPv4 addresses from IP Helper, for the portable choice of the primary one.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/common/errors.h"
#include "platform/common/windows/wide.h"
#include "platform/network/network.h"
#include "platform/network/primary_address.h"

namespace platform {
namespace {

// The addresses of the adapters that are up; those with a default gateway ranked by metric.
std::vector<net::Candidate> ReadAdapters() {
    ULONG bytes = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(bytes);
        status = GetAdaptersAddresses(AF_INET, GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_SKIP_DNS_SERVER, nullptr,
                                      reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &bytes);
    }
    if (status == ERROR_NO_DATA) return {};
    if (status != NO_ERROR) throw PlatformError("GetAdaptersAddresses: " + win::Hex(status));
    std::vector<net::Candidate> result;
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
        if (a->OperStatus != IfOperStatusUp) continue;
        for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
            if (!u->Address.lpSockaddr || u->Address.lpSockaddr->sa_family != AF_INET) continue;
            const auto* in = reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr);
            char text[INET_ADDRSTRLEN] = {};
            if (!inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) continue;
            net::Candidate found;
            found.address = text;
            found.up = true;
            found.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK || (ntohl(in->sin_addr.s_addr) >> 24) == 127;
            if (a->FirstGatewayAddress) found.routeRank = a->Ipv4Metric;
            result.push_back(found);
        }
    }
    return result;
}

class WindowsNetwork final : public Network {
public:
    void Close() override { adapters_.reset(); }
    void Refresh() override { adapters_ = ReadAdapters(); }
    std::string LocalIP() override {
        if (!adapters_) adapters_ = ReadAdapters();
        return net::PrimaryAddress(*adapters_);
    }

private:
    std::optional<std::vector<net::Candidate>> adapters_;
};

}  // namespace

std::unique_ptr<Network> makeSystemNetwork() { return std::make_unique<WindowsNetwork>(); }

}  // namespace platform
