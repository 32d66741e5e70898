#pragma once
// The journal of requests received: what each one asked for and what it was answered.
// Passwords never reach it: every PWD value is replaced by "***" before anything is kept.
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>

#include "dataservice/common/params.h"

namespace dataservice {

inline constexpr std::string_view kMaskedPassword = "***";

struct JournalEntry {
    std::int64_t seq = 0;
    std::string received;  // local time, "YYYY-MM-DDTHH:MM:SS"
    std::string path;      // the decoded path as requested, e.g. "/vantrel/getdata.asp"
    std::string page;      // its last segment as requested, e.g. "getdata.asp"
    Params params;         // decoded, in the order sent, passwords masked
    int status = 0;        // the HTTP status answered
};

// The same pairs with every PWD value (key compared case-insensitively) masked.
Params maskPasswords(Params params);

// One line of text for the pairs: "key=value&key=value", values decoded but with "%", "&",
// "=", control characters and bytes outside well-formed UTF-8 written as %XX, so that the
// text is readable, stays on one line and reads back exactly with decodeParams.
std::string encodeParams(const Params& params);
Params decodeParams(std::string_view text);

// The text with "%", control characters and bytes outside well-formed UTF-8 written as %XX:
// one readable line that percentDecode turns back into the exact bytes.
std::string escapeLine(std::string_view text);

// "seq<TAB>received<TAB>status<TAB>path<TAB>params", escaped as encodeParams does.
std::string journalLine(const JournalEntry& entry);

// Appends journal lines to a text file, flushed line by line.
class JournalFile {
public:
    explicit JournalFile(const std::string& path);  // throws when it cannot be opened
    void append(const JournalEntry& entry);

private:
    std::mutex mutex_;
    std::ofstream out_;
};

}  // namespace dataservice
