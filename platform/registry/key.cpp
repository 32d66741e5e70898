#include "platform/registry/key.h"

#include "platform/common/text.h"
#include "platform/registry/encoding.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace platform {

namespace {

char32_t upper(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 0x20;
    if (c < 0xE0) return c;
    if (c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    return c;
}

}  // namespace

int compareRegistryNames(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        char32_t ua, ub;
        if (ca < 0x80 && cb < 0x80) {  // the common case: plain ASCII
            ++i;
            ++j;
            ua = upper(ca);
            ub = upper(cb);
        } else {
            ua = upper(text::NextCodePoint(a, i));  // a byte of no sequence stands for itself: a total order
            ub = upper(text::NextCodePoint(b, j));
        }
        if (ua != ub) return ua < ub ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::string foldRegistryName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    std::size_t i = 0;
    while (i < name.size()) {
        appendUtf8(out, upper(text::NextCodePoint(name, i)));
    }
    return out;
}

std::vector<std::uint8_t> registryText(std::string_view text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

std::vector<std::unique_ptr<RegistryKey>>::const_iterator RegistryKey::lowerBound(
    std::string_view name) const {
    return std::lower_bound(subkeys_.begin(), subkeys_.end(), name,
                            [](const std::unique_ptr<RegistryKey>& k, std::string_view n) {
                                return compareRegistryNames(k->name(), n) < 0;
                            });
}

RegistryKey* RegistryKey::findSubkey(std::string_view name) const {
    auto it = lowerBound(name);
    if (it != subkeys_.end() && sameRegistryName((*it)->name(), name)) return it->get();
    return nullptr;
}

RegistryKey& RegistryKey::subkey(std::string_view name) {
    auto it = lowerBound(name);
    if (it != subkeys_.end() && sameRegistryName((*it)->name(), name)) return **it;
    it = subkeys_.insert(it, std::make_unique<RegistryKey>(std::string(name)));
    return **it;
}

bool RegistryKey::removeSubkey(std::string_view name) {
    auto it = lowerBound(name);
    if (it == subkeys_.end() || !sameRegistryName((*it)->name(), name)) return false;
    subkeys_.erase(it);
    return true;
}

void RegistryKey::adoptSubkeys(std::vector<std::unique_ptr<RegistryKey>> keys) {
    auto less = [](const auto& x, const auto& y) { return compareRegistryNames(x->name(), y->name()) < 0; };
    std::sort(keys.begin(), keys.end(), less);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if ((i > 0 && sameRegistryName(keys[i - 1]->name(), keys[i]->name())) || findSubkey(keys[i]->name()))
            throw std::invalid_argument("two subkeys named " + keys[i]->name());
    }
    std::vector<std::unique_ptr<RegistryKey>> merged;
    merged.reserve(subkeys_.size() + keys.size());
    std::merge(std::make_move_iterator(subkeys_.begin()), std::make_move_iterator(subkeys_.end()),
               std::make_move_iterator(keys.begin()), std::make_move_iterator(keys.end()),
               std::back_inserter(merged), less);
    subkeys_ = std::move(merged);
}

const RegistryValue* RegistryKey::findValue(std::string_view name) const {
    for (const auto& v : values_)
        if (sameRegistryName(v.name, name)) return &v;
    return nullptr;
}

void RegistryKey::setValue(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
    for (auto& v : values_) {
        if (sameRegistryName(v.name, name)) {
            v.type = type;
            v.data = std::move(data);
            return;
        }
    }
    values_.push_back(RegistryValue{std::string(name), type, std::move(data)});
}

bool RegistryKey::removeValue(std::string_view name) {
    auto it = std::find_if(values_.begin(), values_.end(),
                           [&](const RegistryValue& v) { return sameRegistryName(v.name, name); });
    if (it == values_.end()) return false;
    values_.erase(it);
    return true;
}

void RegistryKey::clear() {
    subkeys_.clear();
    values_.clear();
}

}  // namespace platform
