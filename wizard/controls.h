#pragma once
// What the window and every page build their controls from: the dialog font and plain labels.
#include <QFont>
#include <QLabel>
#include <QRect>
#include <QString>

class QWidget;

namespace wizard {

// The classic dialog font that the window's and the pages' boxes are measured for: 8.25-point
// "MS Sans Serif", or else a sans-serif face of similar width; the wide default faces would wrap
// and clip the pages' texts.
QFont DialogFont();

enum class Wrap { None, Words };

// A label placed at `geometry` (pixels) with its text top-left, as plain text: labels show names
// read from the machine, which must never be taken for markup.
QLabel* MakeLabel(QWidget& parent, const char* name, const QString& text, const QRect& geometry,
                  Wrap wrap = Wrap::Words);

}  // namespace wizard
