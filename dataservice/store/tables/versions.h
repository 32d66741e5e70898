#pragma once
// The collector versions the service lets run.
#include <vector>

#include "dataservice/store/access.h"
#include "dataservice/store/types.h"

namespace dataservice {

class Versions {
public:
    explicit Versions(Access& access) : access_(access) {}
    void allow(const Version& v);
    bool disallow(const Version& v);  // false when it was not allowed
    bool isAllowed(const Version& v);
    std::vector<Version> all();
    // Inside the schema's first transaction, before the writer runs.
    static void allowIn(Sql& sql, const Version& v);

private:
    Access& access_;
};

}  // namespace dataservice
