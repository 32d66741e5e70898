#pragma once
// Rows put straight into the store's tables, one transaction a profile: a grown database in
// seconds instead of the hours its uploads would take.
#include <cstdint>
#include <string>
#include <vector>

#include "dataservice/db/database.h"

namespace monday {

struct ProfileShape {
    std::string name;  // a subscriber, made here with a cheap hash (its password is `password`)
    int collections = 1;
    int items = 1100;  // each collection's
};

inline constexpr char kPassword[] = "monday pass";

// Makes the accounts and their collections, all completed, the last one current; each later
// collection changes every tenth item's version. The items put in.
std::int64_t fillProfiles(const std::string& target, const std::vector<ProfileShape>& shapes);

}  // namespace monday
