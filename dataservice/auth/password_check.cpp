#include "dataservice/auth/password_check.h"

#include "dataservice/operation/metrics.h"

namespace dataservice {

std::optional<Credentials> PasswordCheck::check(const std::string& name, const std::string& password,
                                                const std::string& address, bool* limited) {
    if (limited) *limited = false;
    const auto creds = store_.profiles().credentials(name);
    // A pair proven right a moment ago costs nothing and cannot be a guess: a collector's run
    // goes on even while someone else is locked out of the account by failing.
    if (creds && verifier_.remembered(name, password, creds->passwordHash)) return creds;
    if (!store_.signIns().allowed(name, address, limits_)) {
        if (limited) *limited = true;
        Metrics::global().signInRefused(SignInRefusal::Limited);
        return std::nullopt;
    }
    if (creds && verifier_.verify(name, password, creds->passwordHash)) return creds;
    if (!creds) verifier_.burn(password, store_.options().passwordIterations);
    store_.signIns().recordFailure(name, address, limits_);
    Metrics::global().signInRefused(SignInRefusal::Password);
    return std::nullopt;
}

}  // namespace dataservice
