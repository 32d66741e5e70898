#pragma once
// The inventory items of each profile, in arrival order, by collection: each run's reset starts
// a new collection, and the profile keeps its last few (StoreOptions::keepCollections).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dataservice/store/access.h"
#include "dataservice/store/types.h"

namespace dataservice {

class Inventory {
public:
    Inventory(Access& access, const StoreOptions& options) : access_(access), options_(options) {}

    // Starts a new collection, the current one from now on, and drops the oldest beyond those kept.
    void reset(std::int64_t profileId);
    // Into the current collection. The stored item's sequence number.
    std::int64_t add(std::int64_t profileId, const std::string& category, const std::string& text,
                     const std::optional<std::string>& configDate = std::nullopt);
    // Inside a write: adds the item to subscriber `name` only while the account still holds
    // `passwordHash` (the one its password was proven against), checked in the same statement,
    // so an upload needs no read before it and nothing waits for an answer.
    void addIfHolds(const std::string& name, const std::string& passwordHash, const std::string& category,
                    const std::string& text, const std::optional<std::string>& configDate = std::nullopt,
                    std::function<void(bool held)> onOutcome = {});
    void finalize(std::int64_t profileId);  // the current collection complete, last-update date now
    // The current collection's items.
    std::vector<Item> items(std::int64_t profileId);
    // The profile's collections, newest (the current one) first.
    std::vector<Collection> collections(std::int64_t profileId);
    // The items of one of the profile's collections; none when it is not one of them.
    std::vector<Item> collectionItems(std::int64_t profileId, std::int64_t collectionId);

private:
    Access& access_;
    const StoreOptions& options_;
};

}  // namespace dataservice
