#include "wizard/splash_image.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace wizard {
namespace {

// A stylised chip with pins: the collector reads hardware.
void DrawChip(QPainter& p, QRectF r, const QColor& body, const QColor& pins) {
    p.setPen(Qt::NoPen);
    p.setBrush(pins);
    const int n = 4;
    for (int i = 0; i < n; ++i) {
        const double step = r.width() / (n + 1);
        const double x = r.left() + step * (i + 1) - 2;
        p.drawRect(QRectF(x, r.top() - 6, 4, 6));
        p.drawRect(QRectF(x, r.bottom(), 4, 6));
        const double y = r.top() + r.height() / (n + 1) * (i + 1) - 2;
        p.drawRect(QRectF(r.left() - 6, y, 6, 4));
        p.drawRect(QRectF(r.right(), y, 6, 4));
    }
    p.setBrush(body);
    p.drawRoundedRect(r, 4, 4);
}

}  // namespace

QPixmap SplashImage() {
    QPixmap pixmap(kSplashWidth, kSplashHeight);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, kSplashHeight);
    sky.setColorAt(0.0, QColor(18, 52, 110));
    sky.setColorAt(1.0, QColor(40, 130, 170));
    p.fillRect(pixmap.rect(), sky);

    // Upload arrows rising from the chip towards the profile.
    p.setPen(QPen(QColor(255, 255, 255, 70), 2));
    for (int i = 0; i < 5; ++i) {
        const double x = 22 + i * 19;
        p.drawLine(QPointF(x, 120), QPointF(x, 40 + (i % 2) * 14));
        p.drawLine(QPointF(x, 40 + (i % 2) * 14), QPointF(x - 5, 47 + (i % 2) * 14));
        p.drawLine(QPointF(x, 40 + (i % 2) * 14), QPointF(x + 5, 47 + (i % 2) * 14));
    }
    DrawChip(p, QRectF(33, 118, 54, 54), QColor(230, 236, 245), QColor(250, 200, 80));
    p.setPen(QColor(18, 52, 110));
    QFont letter("DejaVu Sans", 20, QFont::Bold);
    p.setFont(letter);
    p.drawText(QRectF(33, 118, 54, 54), Qt::AlignCenter, "V");

    p.setPen(QColor(255, 255, 255));
    QFont title("DejaVu Sans", 11, QFont::Bold);
    p.setFont(title);
    p.drawText(QRectF(0, 184, kSplashWidth, 20), Qt::AlignCenter, "Vantrel");
    QFont sub("DejaVu Sans", 7);
    p.setFont(sub);
    p.drawText(QRectF(0, 202, kSplashWidth, 14), Qt::AlignCenter, "Collector");
    p.end();
    return pixmap;
}

QImage IconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // The side image's chip on its sky, drawn on a 64-unit grid and scaled, so that every size
    // is the same picture.
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient sky(0, 0, 0, 64);
    sky.setColorAt(0.0, QColor(18, 52, 110));
    sky.setColorAt(1.0, QColor(40, 130, 170));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(0, 0, 64, 64), 10, 10);
    const QRectF chip(14, 14, 36, 36);
    DrawChip(p, chip, QColor(230, 236, 245), QColor(250, 200, 80));
    p.setPen(QColor(18, 52, 110));
    QFont letter("DejaVu Sans");
    letter.setPixelSize(24);  // pixels, not points: the same shape whatever the screen's dpi
    letter.setBold(true);
    p.setFont(letter);
    p.drawText(chip, Qt::AlignCenter, "V");
    p.end();
    return image;
}

QIcon WindowIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) icon.addPixmap(QPixmap::fromImage(IconImage(size)));
    return icon;
}

}  // namespace wizard
