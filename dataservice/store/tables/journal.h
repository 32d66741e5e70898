#pragma once
// The journal of requests received, in the order their transactions committed, trimmed by age
// and by count.
#include <cstdint>
#include <string>
#include <vector>

#include "dataservice/common/journal_format.h"
#include "dataservice/store/access.h"
#include "dataservice/store/types.h"

namespace dataservice {

class Journal {
public:
    Journal(Access& access, const StoreOptions& options) : access_(access), options_(options) {}

    // Masks passwords before anything is written. Returns the entry as kept.
    JournalEntry append(const std::string& path, const std::string& page, const Params& params, int status);
    // Inside a write: the same, kept in `into`, whose number is known once the batch's answers
    // are in (before its commit has returned); nothing waits for it meanwhile.
    void send(const std::string& path, const std::string& page, const Params& params, int status,
              std::optional<JournalEntry>& into);
    // Inside a write: takes back an entry whose request is being answered anew.
    void forget(std::int64_t seq);
    std::vector<JournalEntry> all();
    // Drops entries outside the window among the `limit` oldest keys; how many.
    int trim(int limit);

private:
    Access& access_;
    const StoreOptions& options_;
    std::int64_t appendsSinceTrim_ = 0;  // the writer's alone
};

}  // namespace dataservice
