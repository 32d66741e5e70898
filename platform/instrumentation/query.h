#pragma once
// The two texts a caller hands the instrumentation: the namespace moniker and the query.
#include <string>
#include <string_view>
#include <vector>

namespace platform::instr {

// True for the local machine's root\cimv2 namespace, however it is spelled: any letter case,
// "/" or "\" as separators, with or without the "\\.\" local-machine part.
bool isLocalCimv2Moniker(std::string_view moniker);

struct ParsedQuery {
    bool allProperties = false;           // "select *"
    std::vector<std::string> properties;  // as written, when not all
    std::string className;                // as written
};

// `select <name>[, <name>...] from <class>` or `select * from <class>`. Keywords in any case,
// blanks free around names and commas. Throws PlatformError for anything else.
ParsedQuery parseQuery(std::string_view query);

// ASCII letters compared without regard to case.
bool sameName(std::string_view a, std::string_view b);

}  // namespace platform::instr
