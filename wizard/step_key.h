#pragma once
// Step keys: empty, a number or a text.
#include <string>
#include <variant>

namespace wizard {

using StepKey = std::variant<std::monostate, double, std::string>;

// Present, not empty, and either a text of at least one character or something that reads as a number.
bool IsUsableKey(const StepKey& key);
// The number a usable key reads as, if any (a number, or a text such as "2").
bool KeyReadsAsNumber(const StepKey& key, double* value = nullptr);

}  // namespace wizard
