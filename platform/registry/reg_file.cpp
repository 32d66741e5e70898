#include "platform/registry/reg_file.h"

#include <cstring>
#include <ostream>
#include <vector>

#include "platform/registry/encoding.h"
#include "platform/registry/registry.h"
#include "platform/common/text.h"

namespace platform {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

using text::HexDigit;
using text::StartsWithNoCase;
using text::Trim;
using text::TrimLeft;

// Whether a value line goes on in the next line: it ends in a backslash outside any quotes.
bool continues(std::string_view line) {
    if (line.empty() || line.back() != '\\') return false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (quoted) {
            if (line[i] == '\\') {
                ++i;  // an escape; a backslash at the very end leaves the text open
            } else if (line[i] == '"') {
                quoted = false;
            }
        } else if (line[i] == '"') {
            quoted = true;
        }
    }
    return !quoted;
}

class Parser {
public:
    Parser(std::string text, std::vector<RegFileError>* skipped) : text_(std::move(text)), skipped_(skipped) {
        splitLines();
    }

    std::unique_ptr<RegistryKey> run() {
        auto machine = std::make_unique<RegistryKey>();
        machine_ = machine.get();
        std::size_t i = readHeader();
        for (; i < lines_.size(); ++i) {
            lineNo_ = static_cast<int>(i) + 1;
            std::string_view line = TrimLeft(lines_[i]);
            if (line.empty() || line.front() == ';') continue;
            try {
                if (line.front() == '[') {
                    section(Trim(line));
                } else if (line.front() == '"' || line.front() == '@') {
                    std::string logical(Trim(line));
                    while (continues(logical) && i + 1 < lines_.size()) {
                        logical.pop_back();
                        logical += Trim(lines_[++i]);
                    }
                    if (continues(logical)) logical.pop_back();  // the file ends mid-value
                    value(logical);
                } else {
                    fail("expected a key in brackets, a value or a comment");
                }
            } catch (const RegFileError& e) {
                if (!skipped_) throw;
                skipped_->push_back(e);
                // After a broken key line its values belong to no key, rather than to the one before.
                if (line.front() == '[') {
                    current_ = nullptr;
                    inSection_ = true;
                }
            }
        }
        return machine;
    }

private:
    [[noreturn]] void fail(const std::string& what) const { throw RegFileError(lineNo_, what); }

    void splitLines() {
        std::string_view rest = text_;
        while (true) {
            const auto nl = rest.find('\n');
            std::string_view line = rest.substr(0, nl);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            lines_.push_back(line);
            if (nl == std::string_view::npos) break;
            rest.remove_prefix(nl + 1);
        }
    }

    std::size_t readHeader() {
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            lineNo_ = static_cast<int>(i) + 1;
            const std::string_view line = Trim(lines_[i]);
            if (line.empty()) continue;
            if (line == kHeader5) {
                unicodeHex_ = true;
            } else if (line == kHeader4) {
                unicodeHex_ = false;
            } else {
                fail("expected the header \"" + std::string(kHeader5) + "\" or \"" +
                     std::string(kHeader4) + "\"");
            }
            return i + 1;
        }
        fail("the file is empty: expected the header \"" + std::string(kHeader5) + "\" or \"" +
             std::string(kHeader4) + "\"");
    }

    void section(std::string_view line) {
        const auto close = line.rfind(']');
        if (close != line.size() - 1) fail("a key line must end with ']'");
        std::string_view path = line.substr(1, close - 1);
        const bool remove = !path.empty() && path.front() == '-';
        if (remove) path.remove_prefix(1);

        const auto sep = path.find('\\');
        const std::string_view root = path.substr(0, sep);
        std::vector<std::string_view> names;
        if (sep != std::string_view::npos) {
            std::string_view rest = path.substr(sep + 1);
            while (true) {
                const auto next = rest.find('\\');
                const std::string_view name = rest.substr(0, next);
                if (name.empty()) fail("empty key name in \"" + std::string(path) + "\"");
                names.push_back(name);
                if (next == std::string_view::npos) break;
                rest.remove_prefix(next + 1);
            }
        }

        current_ = nullptr;
        inSection_ = true;
        if (!sameRegistryName(root, "HKEY_LOCAL_MACHINE")) {
            static constexpr std::string_view kOtherRoots[] = {
                "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT", "HKEY_USERS", "HKEY_CURRENT_CONFIG",
                "HKEY_PERFORMANCE_DATA", "HKEY_DYN_DATA"};
            for (auto other : kOtherRoots)
                if (sameRegistryName(root, other)) return;  // kept nowhere: its values are dropped
            fail("unknown root key \"" + std::string(root) + "\"");
        }

        if (remove) {
            // The key goes with its subtree; the values that follow belong to no key.
            if (names.empty()) {
                machine_->clear();
                return;
            }
            RegistryKey* parent = machine_;
            for (std::size_t k = 0; parent && k + 1 < names.size(); ++k) parent = parent->findSubkey(names[k]);
            if (parent) parent->removeSubkey(names.back());
            return;
        }
        RegistryKey* key = machine_;
        for (auto name : names) key = &key->subkey(name);
        current_ = key;
    }

    // A quoted text starting at s[pos] ('"'); pos ends after the closing quote.
    std::string quoted(std::string_view s, std::size_t& pos) const {
        std::string out;
        for (std::size_t i = pos + 1; i < s.size(); ++i) {
            const char c = s[i];
            if (c == '"') {
                pos = i + 1;
                return out;
            }
            if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
                out += s[++i];
            } else {
                out += c;
            }
        }
        fail("a text without its closing quote");
    }

    std::vector<std::uint8_t> hexBytes(std::string_view s) const {
        std::vector<std::uint8_t> bytes;
        s = Trim(s);
        if (s.empty()) return bytes;
        while (true) {
            const auto comma = s.find(',');
            const std::string_view token = Trim(s.substr(0, comma));
            const bool last = comma == std::string_view::npos;
            if (token.empty() && last && !bytes.empty()) break;  // "..,00," at the end
            if (token.empty() || token.size() > 2) fail("expected two hexadecimal digits, found \"" +
                                                        std::string(token) + "\"");
            int byte = 0;
            for (char c : token) {
                const int d = HexDigit(c);
                if (d < 0) fail("expected two hexadecimal digits, found \"" + std::string(token) + "\"");
                byte = byte * 16 + d;
            }
            bytes.push_back(static_cast<std::uint8_t>(byte));
            if (last) break;
            s.remove_prefix(comma + 1);
        }
        return bytes;
    }

    // What a value line's data says: the value's type and bytes, or that the value goes.
    struct ValueData {
        bool remove = false;
        std::uint32_t type = REG_NONE;
        std::vector<std::uint8_t> bytes;
    };

    // `"name"=data`, or `@=data` for the key's default value.
    void value(std::string_view line) {
        std::size_t pos = 0;
        std::string name;
        if (line.front() == '@') {
            pos = 1;
        } else {
            name = quoted(line, pos);
        }
        while (pos < line.size() && isBlank(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != '=') fail("expected '=' after the value name");
        ValueData data = valueData(Trim(line.substr(pos + 1)));

        if (!inSection_) fail("a value before the first key");
        if (!current_) return;  // under another root or a deleted key
        if (data.remove) {
            current_->removeValue(name);
        } else {
            current_->setValue(name, data.type, std::move(data.bytes));
        }
    }

    ValueData valueData(std::string_view data) const {
        if (data == "-") return {true, REG_NONE, {}};
        if (!data.empty() && data.front() == '"') {
            std::size_t end = 0;
            const std::string text = quoted(data, end);
            if (!Trim(data.substr(end)).empty()) fail("unexpected text after the closing quote");
            return {false, REG_SZ, registryText(text)};
        }
        if (StartsWithNoCase(data, "dword:")) {
            const std::uint32_t n = hexNumber(data.substr(6), "a dword needs 1 to 8 hexadecimal digits");
            return {false, REG_DWORD,
                    {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                     static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)}};
        }
        if (StartsWithNoCase(data, "hex:")) return {false, REG_BINARY, hexBytes(data.substr(4))};
        if (StartsWithNoCase(data, "hex(")) return typedHex(data);
        fail("unknown value data \"" + std::string(data) + "\"");
    }

    // `hex(type):` and the bytes. A text's bytes are the editor's characters, kept as UTF-8.
    ValueData typedHex(std::string_view data) const {
        const auto close = data.find("):");
        const std::string_view digits = close == std::string_view::npos ? std::string_view{} : data.substr(4, close - 4);
        const std::uint32_t type = hexNumber(digits, "expected hex(type): with a hexadecimal type");
        std::vector<std::uint8_t> bytes = hexBytes(data.substr(close + 2));
        if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
            // The editor writes UTF-16 in version 5, 8-bit before.
            const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            const std::string text = unicodeHex_ ? utf8FromUtf16le(raw) : utf8FromLocal8Bit(raw);
            bytes.assign(text.begin(), text.end());
        }
        return {false, type, std::move(bytes)};
    }

    // 1 to 8 hexadecimal digits; anything else fails with `complaint`.
    std::uint32_t hexNumber(std::string_view digits, const char* complaint) const {
        if (digits.empty() || digits.size() > 8) fail(complaint);
        std::uint32_t n = 0;
        for (char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) fail(complaint);
            n = n * 16 + static_cast<std::uint32_t>(d);
        }
        return n;
    }

    std::string text_;
    std::vector<RegFileError>* skipped_;
    std::vector<std::string_view> lines_;
    RegistryKey* machine_ = nullptr;
    RegistryKey* current_ = nullptr;
    bool inSection_ = false;
    bool unicodeHex_ = true;
    int lineNo_ = 0;
};

}  // namespace

std::unique_ptr<RegistryKey> parseRegFile(std::string_view bytes) {
    return Parser(utf8FromRegFile(bytes), nullptr).run();
}

std::unique_ptr<RegistryKey> parseRegFile(std::string_view bytes, std::vector<RegFileError>& skipped) {
    return Parser(utf8FromRegFile(bytes), &skipped).run();
}

}  // namespace platform
