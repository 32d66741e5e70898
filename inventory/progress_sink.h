#pragma once
// Where the collection run reports to: the wizard's progress page, or the unattended program's
// standard error. The run itself knows neither.
#include <string>

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
    // A new progress text. May throw; the run then goes on without it.
    virtual void SetProgressText(const std::string& text) = 0;
    // The run's last text, in place of the progress text.
    virtual void SetFinalText(const std::string& text) = 0;
    // The instrumentation could not be connected: nothing has been sent and nothing will be.
    // The wizard shows the message and ends the program; others report it and return.
    virtual void InstrumentationUnavailable(const std::string& title, const std::string& text) = 0;
};

}  // namespace inventory
