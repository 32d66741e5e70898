#include "wizard/paint_pacer.h"

#include <QCoreApplication>
#include <QEvent>

namespace wizard {

PaintPacer::PaintPacer(QWidget& window, std::chrono::milliseconds interval) : window_(&window), interval_(interval) {
    window.installEventFilter(this);
}

PaintPacer::~PaintPacer() {
    if (!window_) return;
    window_->removeEventFilter(this);
    if (held_) Post();
}

void PaintPacer::Tick() {
    if (held_ && Due()) {
        held_ = false;
        Post();
    }
}

bool PaintPacer::eventFilter(QObject* watched, QEvent* event) {
    // Qt paints a top-level window's dirty region when it handles this request; a request held
    // back leaves the region dirty, so the next one that goes through paints all of it.
    if (watched != window_ || event->type() != QEvent::UpdateRequest) return false;
    if (Due()) {
        lastPaint_ = Clock::now();
        held_ = false;
        return false;
    }
    held_ = true;
    return true;
}

void PaintPacer::Post() {
    QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

}  // namespace wizard
