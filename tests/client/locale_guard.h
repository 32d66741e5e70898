#pragma once
// Sets the process's LC_TIME for one test and puts the previous one back.
#include <clocale>
#include <string>

class TimeLocale {
public:
    explicit TimeLocale(const char* name) : previous_(std::setlocale(LC_TIME, nullptr)) {
        active_ = std::setlocale(LC_TIME, name) != nullptr;
    }
    ~TimeLocale() { std::setlocale(LC_TIME, previous_.c_str()); }
    TimeLocale(const TimeLocale&) = delete;
    TimeLocale& operator=(const TimeLocale&) = delete;

    // False when the locale is not installed (scripts/install-deps brings locales-all).
    bool active() const { return active_; }

private:
    std::string previous_;
    bool active_ = false;
};
