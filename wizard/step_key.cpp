#include "wizard/step_key.h"

#include "platform/common/numbers.h"

namespace wizard {

bool KeyReadsAsNumber(const StepKey& key, double* value) {
    if (const double* d = std::get_if<double>(&key)) {
        if (value) *value = *d;
        return true;
    }
    if (const std::string* s = std::get_if<std::string>(&key)) {
        if (auto n = platform::readsAsNumber(*s)) {
            if (value) *value = *n;
            return true;
        }
    }
    return false;
}

bool IsUsableKey(const StepKey& key) {
    if (std::holds_alternative<std::monostate>(key)) return false;
    if (std::holds_alternative<double>(key)) return true;
    return !std::get<std::string>(key).empty();
}

}  // namespace wizard
