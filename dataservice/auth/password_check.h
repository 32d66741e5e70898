#pragma once
// A subscriber's password checked behind the sign-in limits, for the collector's pages and the
// profile page's sign-in alike.
#include <optional>
#include <string>

#include "dataservice/common/passwords.h"
#include "dataservice/store/store.h"

namespace dataservice {

class PasswordCheck {
public:
    PasswordCheck(Store& store, SignInLimits limits) : store_(store), limits_(limits) {}

    // A pair verified a moment ago passes; otherwise, once the account or the address has
    // failed too often, the answer is "no" without any key derivation (`limited` says so). A
    // failure is counted.
    std::optional<Credentials> check(const std::string& name, const std::string& password,
                                     const std::string& address, bool* limited = nullptr);

    PasswordVerifier& verifier() { return verifier_; }
    const SignInLimits& limits() const { return limits_; }

private:
    Store& store_;
    SignInLimits limits_;
    PasswordVerifier verifier_;
};

}  // namespace dataservice
