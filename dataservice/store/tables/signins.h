#pragma once
// Sign-in state that several service processes on one database must agree on: the profile
// page's sessions, and the failed sign-ins counted against an account name or an address.
#include <cstdint>
#include <optional>
#include <string>

#include "dataservice/store/access.h"
#include "dataservice/store/types.h"

namespace dataservice {

// Kept by a hash of their token, so the database never holds a usable one.
class Sessions {
public:
    Sessions(Access& access, const StoreOptions& options) : access_(access), options_(options) {}
    void create(const std::string& tokenHash, std::int64_t profileId, const std::string& csrfToken,
                std::int64_t lifetimeSeconds);
    std::optional<Session> find(const std::string& tokenHash);  // none once expired
    void end(const std::string& tokenHash);
    // Deletes up to `limit` expired sessions; how many.
    int purgeEnded(int limit);

private:
    Access& access_;
    const StoreOptions& options_;
};

// The key an address is counted under: an IPv6 client by its /64, which one subscriber's line
// usually holds whole; anything else as it is.
std::string addressKey(const std::string& address);

class SignInCounters {
public:
    SignInCounters(Access& access, const StoreOptions& options) : access_(access), options_(options) {}
    // Whether another attempt may be checked at all.
    bool allowed(const std::string& account, const std::string& address, const SignInLimits& limits);
    // Counts one failure against the account (when named) and the address.
    void recordFailure(const std::string& account, const std::string& address, const SignInLimits& limits);
    // An evaluation name that is not registered, asked for from `address`: counts against the
    // address only the first time in the window, so that one run that lost its registration
    // does not lock out its neighbours, while walking many names does.
    void recordUnknownName(const std::string& name, const std::string& address, const SignInLimits& limits);
    void clear(const std::string& account);
    // Deletes up to `limit` counters that count nothing any more; how many.
    int purgeStale(int limit);

private:
    Access& access_;
    const StoreOptions& options_;
};

}  // namespace dataservice
