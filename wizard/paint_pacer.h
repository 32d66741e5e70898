#pragma once
// Holds a window's repaints to one an interval while a step's run yields at every item.
// A thousand programs go by in well under a second, and painting each progress text (wrapping,
// shaping, drawing the glyphs) costs more than uploading the item. Controls keep taking every
// change at once: whatever paints the window (a paced paint, an expose, the paint owed at the
// end) shows their latest state; only the number of paints falls.
#include <chrono>

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace wizard {

// Twenty texts a second still read as moving; more are a blur that costs the run its time.
inline constexpr std::chrono::milliseconds kFrameInterval{50};

class PaintPacer : public QObject {
public:
    using Clock = std::chrono::steady_clock;

    explicit PaintPacer(QWidget& window, std::chrono::milliseconds interval = kFrameInterval);
    // A paint still held goes out with the next pass of the event loop.
    ~PaintPacer() override;
    PaintPacer(const PaintPacer&) = delete;
    PaintPacer& operator=(const PaintPacer&) = delete;

    // Sends a held paint on its way once the interval since the last paint has passed; it is
    // made at the next pass of the event loop, with what the controls hold by then.
    void Tick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Due() const { return Clock::now() - lastPaint_ >= interval_; }
    void Post();

    QPointer<QWidget> window_;
    std::chrono::milliseconds interval_;
    Clock::time_point lastPaint_{};
    bool held_ = false;
};

}  // namespace wizard
