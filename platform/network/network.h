#pragma once
// The socket control's view of the machine's address.
#include <memory>
#include <string>

namespace platform {

class Network {
public:
    virtual ~Network() = default;
    // Closes the control's socket. May throw PlatformError.
    virtual void Close() = 0;
    // Re-reads the machine's interfaces. May throw PlatformError.
    virtual void Refresh() = 0;
    // The primary local IPv4 address as dotted text; empty when there is none, "127.0.0.1"
    // when only loopback is up. Throws PlatformError when it cannot be read.
    virtual std::string LocalIP() = 0;
};

// getifaddrs, and the routing table below the system root (VANTREL_SYSROOT, else /).
std::unique_ptr<Network> makeSystemNetwork();

}  // namespace platform
