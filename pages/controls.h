#pragma once
// The few control kinds the information pages are made of.
#include <QCheckBox>
#include <QFont>
#include <QLabel>
#include <QRect>
#include <QString>

class QWidget;

namespace pages {

// A label placed at `geometry` (pixels) with its text top-left, as plain text: the progress line
// shows names read from the machine, which must never be taken for markup.
QLabel* MakeLabel(QWidget& parent, const char* name, const QString& text, const QRect& geometry);

// A check box whose caption wraps within the control's width, as a classic check box with a tall
// caption does: the box sits centred vertically beside the text, and the whole control takes a click.
class WrappingCheckBox : public QCheckBox {
    Q_OBJECT

public:
    WrappingCheckBox(const QString& text, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

// The welcome title's face: bold "MS Sans Serif", or a sans-serif face of similar width.
QFont TitleFont();

}  // namespace pages
