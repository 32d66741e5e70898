#pragma once
// Where the collection run reports to: the wizard's progress page, or the unattended program's
// standard error. The run itself knows neither.
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

namespace inventory {

// Thrown by a sink's Yield when the run has to stop (a confirmed close of the window).
// Deliberately not a std::exception, so it passes every guard on its way out of the run.
struct RunStopped {};

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // Frozen for the length of the run: the wizard disables its buttons and page area.
    virtual void SetFrozen(bool frozen) = 0;
    // Called between items. May throw RunStopped.
    virtual void Yield() = 0;
    // The service asked to be asked again later: waits `delay`, yielding as between items. May
    // throw RunStopped.
    virtual void Wait(std::chrono::milliseconds delay) {
        const auto until = std::chrono::steady_clock::now() + delay;
        for (auto now = std::chrono::steady_clock::now(); now < until; now = std::chrono::steady_clock::now()) {
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(std::chrono::milliseconds(50), until - now));
            Yield();
        }
    }
    // A new progress text. May throw; the run then goes on without it.
    virtual void SetProgressText(const std::string& text) = 0;
    // The run's last text, in place of the progress text.
    virtual void SetFinalText(const std::string& text) = 0;
    // The instrumentation could not be connected: nothing has been sent and nothing will be.
    // The wizard shows the message and ends the program; others report it and return.
    virtual void InstrumentationUnavailable(const std::string& title, const std::string& text) = 0;
};

}  // namespace inventory
