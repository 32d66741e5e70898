#include "dataservice/common/journal_format.h"
#include "platform/common/text.h"

#include <stdexcept>


namespace dataservice {
namespace {

// Escapes the bytes that would make a journal text ambiguous or unreadable.
std::string escapeField(std::string_view text, std::string_view specials) {
    const auto escapeByte = [&](std::string& out, unsigned char b) {
        out.push_back('%');
        out += text::ToHex(std::string_view(reinterpret_cast<const char*>(&b), 1), true);
    };
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            if (b < 0x20 || b == 0x7F || b == '%' || specials.find(static_cast<char>(b)) != std::string_view::npos)
                escapeByte(out, b);
            else
                out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        // Keep a well-formed multi-byte sequence as it is; escape a stray byte.
        const std::size_t len = text::Utf8SequenceLength(text, i);
        if (len > 1) {
            out.append(text.substr(i, len));
            i += len;
        } else {
            escapeByte(out, b);
            ++i;
        }
    }
    return out;
}

}  // namespace

std::string escapeLine(std::string_view text) { return escapeField(text, ""); }

Params maskPasswords(Params params) {
    for (auto& [key, value] : params)
        if (text::EqualsNoCase(key, "PWD")) value = std::string(kMaskedPassword);
    return params;
}

std::string encodeParams(const Params& params) {
    std::string out;
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (i) out.push_back('&');
        out += escapeField(params[i].first, "&=");
        out.push_back('=');
        out += escapeField(params[i].second, "&=");
    }
    return out;
}

Params decodeParams(std::string_view text) { return splitPairs(text, false); }

std::string journalLine(const JournalEntry& entry) {
    return std::to_string(entry.seq) + "\t" + entry.received + "\t" + std::to_string(entry.status) + "\t" +
           escapeLine(entry.path) + "\t" + encodeParams(entry.params);
}

JournalFile::JournalFile(const std::string& path) : out_(path, std::ios::app | std::ios::binary) {
    if (!out_) throw std::runtime_error("cannot open the journal file " + path);
}

void JournalFile::append(const JournalEntry& entry) {
    std::lock_guard lock(mutex_);
    out_ << journalLine(entry) << '\n';
    out_.flush();
}

}  // namespace dataservice
