#pragma once
// What a session needs of its front end besides the run's progress: telling the user something,
// and learning whether the user closed the program while a request blocked.
#include <chrono>
#include <string>
#include <thread>

#include "platform/ui/ui.h"

namespace session {

class Prompter {
public:
    virtual ~Prompter() = default;
    // A message the user acknowledges: OK only, no icon, the application's title. May throw.
    virtual void Tell(const std::string& text) = 0;
    // Called after a request that blocked: answers what the user did meanwhile; true when a
    // close was confirmed, and then the step ends without another word.
    virtual bool CloseRequestedMeanwhile() = 0;
    // The service asked to be asked again later: waits `delay`, saying why; false when the user
    // stopped the wait (the request then counts as failed, or the step ends).
    virtual bool WaitWhileBusy(std::chrono::milliseconds delay) {
        std::this_thread::sleep_for(delay);
        return true;
    }
};

// Messages as the platform's message boxes; no window that could be closed meanwhile.
class UiPrompter : public Prompter {
public:
    explicit UiPrompter(platform::Ui& ui) : ui_(ui) {}
    void Tell(const std::string& text) override {
        platform::MessageBox box;
        box.text = text;
        ui_.Show(box);
    }
    bool CloseRequestedMeanwhile() override { return false; }

protected:
    platform::Ui& ui_;
};

}  // namespace session
