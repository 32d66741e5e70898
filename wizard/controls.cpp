#include "wizard/controls.h"

namespace wizard {

QFont DialogFont() {
    QFont font;
    font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "Arial", "Nimbus Sans", "Helvetica"});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    return font;
}

QLabel* MakeLabel(QWidget& parent, const char* name, const QString& text, const QRect& geometry, Wrap wrap) {
    auto* label = new QLabel(&parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(wrap == Wrap::Words);
    label->setText(text);
    label->setGeometry(geometry);
    return label;
}

}  // namespace wizard
