#include "platform/common/numbers.h"
#include "platform/common/text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace platform {

std::int64_t nearest(double x) {
    return static_cast<std::int64_t>(std::nearbyint(x));  // default rounding mode: to nearest, ties to even
}

std::optional<std::int16_t> toInt16(double x) {
    if (!std::isfinite(x)) return std::nullopt;
    const double r = std::nearbyint(x);
    if (r < std::numeric_limits<std::int16_t>::min() || r > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(r);
}

std::optional<double> readsAsNumber(const std::string& text) {
    const std::string_view inner = text::Trim(text, text::kWhiteSpace);
    const std::size_t b = inner.empty() ? 0 : static_cast<std::size_t>(inner.data() - text.data());
    const std::size_t e = b + inner.size();
    if (b == e) return std::nullopt;
    std::size_t i = b;
    if (text[i] == '+' || text[i] == '-') ++i;
    bool digits = false;
    while (i < e && std::isdigit(static_cast<unsigned char>(text[i]))) { ++i; digits = true; }
    if (i < e && text[i] == '.') {
        ++i;
        while (i < e && std::isdigit(static_cast<unsigned char>(text[i]))) { ++i; digits = true; }
    }
    if (!digits) return std::nullopt;
    if (i < e && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < e && (text[i] == '+' || text[i] == '-')) ++i;
        bool expDigits = false;
        while (i < e && std::isdigit(static_cast<unsigned char>(text[i]))) { ++i; expDigits = true; }
        if (!expDigits) return std::nullopt;
    }
    if (i != e) return std::nullopt;
    return std::strtod(text.substr(b, e - b).c_str(), nullptr);
}

}  // namespace platform
