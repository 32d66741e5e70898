#pragma once
// The two integer conversions used everywhere positions, sizes and step numbers are computed.
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// To the nearest integer, halves to the even neighbour (banker's rounding).
std::int64_t nearest(double x);

// Integer halving that truncates toward zero (-5 \ 2 = -2).
constexpr std::int64_t half(std::int64_t a) { return a / 2; }

// Conversion to a signed 16-bit integer: nearest, halves to even; out of range gives nothing.
std::optional<std::int16_t> toInt16(double x);

// The whole text, blanks around it allowed, is a decimal number (sign, digits, point, exponent).
std::optional<double> readsAsNumber(const std::string& text);

}  // namespace platform
