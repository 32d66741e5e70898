// The machine's primary local IPv4 address from IP Helper: an adapter that is up and carries a
// default gateway (lowest metric first), else any adapter that is up, else loopback.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/common/errors.h"
#include "platform/common/windows/wide.h"
#include "platform/network/network.h"

namespace platform {
namespace {

struct AdapterAddress {
    bool loopback = false;
    bool gateway = false;
    unsigned long metric = 0;
    std::string address;
};

std::vector<AdapterAddress> ReadAdapters() {
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
    std::vector<AdapterAddress> result;
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
        if (a->OperStatus != IfOperStatusUp) continue;
        for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
            if (!u->Address.lpSockaddr || u->Address.lpSockaddr->sa_family != AF_INET) continue;
            const auto* in = reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr);
            char text[INET_ADDRSTRLEN] = {};
            if (!inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) continue;
            AdapterAddress found;
            found.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK || (ntohl(in->sin_addr.s_addr) >> 24) == 127;
            found.gateway = a->FirstGatewayAddress != nullptr;
            found.metric = a->Ipv4Metric;
            found.address = text;
            result.push_back(found);
        }
    }
    return result;
}

std::string PrimaryAddress(std::vector<AdapterAddress> adapters) {
    std::stable_sort(adapters.begin(), adapters.end(),
                     [](const AdapterAddress& a, const AdapterAddress& b) { return a.metric < b.metric; });
    for (const AdapterAddress& a : adapters)
        if (a.gateway && !a.loopback) return a.address;
    for (const AdapterAddress& a : adapters)
        if (!a.loopback) return a.address;
    for (const AdapterAddress& a : adapters)
        if (a.loopback) return "127.0.0.1";
    return {};
}

class WindowsNetwork final : public Network {
public:
    void Close() override { adapters_.reset(); }
    void Refresh() override { adapters_ = ReadAdapters(); }
    std::string LocalIP() override {
        if (!adapters_) adapters_ = ReadAdapters();
        return PrimaryAddress(*adapters_);
    }

private:
    std::optional<std::vector<AdapterAddress>> adapters_;
};

}  // namespace

std::unique_ptr<Network> makeSystemNetwork() { return std::make_unique<WindowsNetwork>(); }

}  // namespace platform
