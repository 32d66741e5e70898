#pragma once
// The inventory items of each profile, in arrival order, and the state of its collection run.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dataservice/store/access.h"
#include "dataservice/store/types.h"

namespace dataservice {

class Inventory {
public:
    explicit Inventory(Access& access) : access_(access) {}

    void reset(std::int64_t profileId);  // deletes its items, starts a new run
    // The stored item's sequence number.
    std::int64_t add(std::int64_t profileId, const std::string& category, const std::string& text,
                     const std::optional<std::string>& configDate = std::nullopt);
    // Inside a write: adds the item to subscriber `name` only while the account still holds
    // `passwordHash` (the one its password was proven against), checked in the same statement,
    // so an upload needs no read before it and nothing waits for an answer.
    void addIfHolds(const std::string& name, const std::string& passwordHash, const std::string& category,
                    const std::string& text, const std::optional<std::string>& configDate = std::nullopt);
    void finalize(std::int64_t profileId);  // run complete, last-update date now
    std::vector<Item> items(std::int64_t profileId);

private:
    Access& access_;
};

}  // namespace dataservice
