#pragma once
// The few control kinds the information pages are made of.
#include <QCheckBox>
#include <QFont>
#include <QString>

class QWidget;

namespace pages {

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

// The welcome title's face: the dialog font, bold.
QFont TitleFont();

}  // namespace pages
