#pragma once
// The pages a collection run asks for, in order, for the tests that check what reached the service.
#include <map>
#include <string>
#include <vector>

namespace uploads {

// How many items of each kind a machine has, by the kind's upload page; a page not named has one.
using ItemCounts = std::map<std::string, int>;

// The machine of the tests over fakes: two programs, one of everything else.
inline const ItemCounts kTwoPrograms = {{"sftdata.asp", 2}};

// `head`, then each upload page once per item (an evaluation's named with the "eval" prefix),
// then "finalize.asp" when `finalize`.
inline std::vector<std::string> RunPages(std::vector<std::string> head, const std::string& prefix, bool finalize,
                                         const ItemCounts& items) {
    static const char* const kUploadOrder[] = {"sftdata.asp", "sounddata.asp",   "videodata.asp", "printdata.asp",
                                               "MMSdata.asp", "mainhwddata.asp", "OSdata.asp",    "NICdata.asp"};
    for (const char* page : kUploadOrder) {
        const auto count = items.find(page);
        for (int n = count == items.end() ? 1 : count->second; n > 0; --n) head.push_back(prefix + page);
    }
    if (finalize) head.push_back("finalize.asp");
    return head;
}

// A whole run: a subscriber's (version check, account check, uploads, "finalize.asp"), or an
// evaluation's (version check, registration, the "eval" uploads).
inline std::vector<std::string> SubscriberRun(const ItemCounts& items) {
    return RunPages({"getversion.asp", "getdata.asp", "updatedata.asp"}, "", true, items);
}
inline std::vector<std::string> EvaluationRun(const ItemCounts& items) {
    return RunPages({"getversion.asp", "gettemp.asp", "evalupdatedata.asp"}, "eval", false, items);
}

}  // namespace uploads
