#include "platform/instrumentation/query.h"

#include "platform/common/errors.h"
#include "platform/common/text.h"

namespace platform::instr {

namespace {

bool isBlank(char c) { return c != '\0' && text::kWhiteSpace.find(c) != std::string_view::npos; }

bool isNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

bool isNamePart(char c) { return isNameStart(c) || (c >= '0' && c <= '9'); }

[[noreturn]] void badQuery(std::string_view query) {
    throw PlatformError("Invalid query: " + std::string(query));
}

}  // namespace

bool sameName(std::string_view a, std::string_view b) { return text::EqualsNoCase(a, b); }

bool isLocalCimv2Moniker(std::string_view moniker) {
    std::string folded;
    for (char c : moniker) folded += c == '/' ? '\\' : text::LowerAscii(c);
    std::string_view rest(folded);
    constexpr std::string_view scheme = "winmgmts:";
    if (rest.substr(0, scheme.size()) != scheme) return false;
    rest.remove_prefix(scheme.size());
    constexpr std::string_view localMachine = "\\\\.\\";
    if (rest.substr(0, localMachine.size()) == localMachine) rest.remove_prefix(localMachine.size());
    return rest == "root\\cimv2";
}

ParsedQuery parseQuery(std::string_view query) {
    // Tokens: names, "*" and ",".
    std::vector<std::string> tokens;
    for (std::size_t i = 0; i < query.size();) {
        const char c = query[i];
        if (isBlank(c)) {
            ++i;
        } else if (c == '*' || c == ',') {
            tokens.emplace_back(1, c);
            ++i;
        } else if (isNameStart(c)) {
            std::size_t end = i + 1;
            while (end < query.size() && isNamePart(query[end])) ++end;
            tokens.emplace_back(query.substr(i, end - i));
            i = end;
        } else {
            badQuery(query);
        }
    }

    std::size_t at = 0;
    auto next = [&]() -> const std::string& {
        if (at >= tokens.size()) badQuery(query);
        return tokens[at++];
    };
    auto isName = [](const std::string& t) { return isNameStart(t.front()); };

    ParsedQuery parsed;
    if (!sameName(next(), "select")) badQuery(query);
    const std::string& first = next();
    if (first == "*") {
        parsed.allProperties = true;
    } else {
        if (!isName(first) || sameName(first, "from")) badQuery(query);
        parsed.properties.push_back(first);
        while (at < tokens.size() && tokens[at] == ",") {
            ++at;
            const std::string& name = next();
            if (!isName(name) || sameName(name, "from")) badQuery(query);
            parsed.properties.push_back(name);
        }
    }
    if (!sameName(next(), "from")) badQuery(query);
    const std::string& className = next();
    if (!isName(className)) badQuery(query);
    parsed.className = className;
    if (at != tokens.size()) badQuery(query);
    return parsed;
}

}  // namespace platform::instr
