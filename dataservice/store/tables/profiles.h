#pragma once
// Subscriber accounts and evaluation identities. An evaluation profile with no upload for the
// store's evaluation lifetime is gone, purged or not.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dataservice/store/access.h"
#include "dataservice/store/types.h"

namespace dataservice {

class Profiles {
public:
    Profiles(Access& access, const StoreOptions& options) : access_(access), options_(options) {}

    bool addAccount(const std::string& name, std::string_view password);  // false when it exists
    bool removeAccount(const std::string& name);  // removes its items too; false when unknown
    std::optional<Credentials> credentials(const std::string& name);
    std::optional<Profile> subscriber(const std::string& name);
    std::vector<std::string> accountNames();

    bool registerEvaluation(const std::string& evalId);  // false when it was already registered
    std::optional<Profile> evaluation(const std::string& evalId);
    // Marks an evaluation profile as used now, which keeps it from expiring.
    void touchEvaluation(std::int64_t profileId);
    // Deletes up to `limit` expired evaluation profiles with their items and sessions; how many.
    int purgeExpiredEvaluations(int limit);

    // The subscriber of that name, else the evaluation profile of that identifier.
    std::optional<Profile> named(const std::string& name);
    std::optional<Profile> byId(std::int64_t id);

private:
    std::optional<Profile> find(ProfileKind kind, const std::string& name);
    std::int64_t oldestLive() const { return options_.clock() - options_.evaluationLifetimeSeconds; }

    Access& access_;
    const StoreOptions& options_;
};

}  // namespace dataservice
