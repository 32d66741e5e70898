// Window operations through Qt widgets.
#include <QApplication>
#include <QCursor>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include "platform/common/errors.h"
#include "platform/window/window.h"

namespace platform {
namespace {

QWidget* checked(WindowHandle w) {
    if (!w) throw PlatformError("no window");
    return w;
}

class QtWindowSystem final : public WindowSystem {
public:
    std::uint32_t GetWindowLong(WindowHandle w, int index) override {
        if (index != GWL_STYLE) throw PlatformError("unsupported window long");
        QWidget* widget = checked(w);
        std::uint32_t style = widget->property("vantrelStyle").toUInt();
        if (!widget->isWindow()) style |= WS_CHILD;
        if (widget->isVisible()) style |= WS_VISIBLE;
        return style;
    }

    void SetWindowLong(WindowHandle w, int index, std::uint32_t value) override {
        if (index != GWL_STYLE) throw PlatformError("unsupported window long");
        QWidget* widget = checked(w);
        widget->setProperty("vantrelStyle", value & ~WS_VISIBLE);
    }

    WindowHandle SetParent(WindowHandle child, WindowHandle parent) override {
        QWidget* widget = checked(child);
        QWidget* previous = widget->parentWidget();
        if (!parent)
            widget->setParent(nullptr, Qt::Window | Qt::FramelessWindowHint);
        else if (GetWindowLong(widget, GWL_STYLE) & WS_CHILD)
            widget->setParent(parent, Qt::Widget);
        else
            widget->setParent(parent, widget->windowFlags());
        return previous;
    }

    void SetWindowPos(WindowHandle w, WindowHandle insertAfter, int x, int y, int cx, int cy,
                      std::uint32_t flags) override {
        QWidget* widget = checked(w);
        widget->move(x, y);
        if (!(flags & SWP_NOSIZE)) widget->resize(cx, cy);
        if (insertAfter == HWND_TOP) widget->raise();
    }

    Rect GetWindowRect(WindowHandle w) override {
        QWidget* widget = checked(w);
        QRect r = widget->isWindow() ? widget->frameGeometry()
                                     : QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
        return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    }

    void SetCursorPos(int x, int y) override { QCursor::setPos(x, y); }

    void SetFocus(WindowHandle w) override {
        QWidget* widget = checked(w);
        if (!widget->isVisible() || !widget->isEnabled()) throw PlatformError("window cannot take the focus");
        widget->setFocus(Qt::OtherFocusReason);
    }

    void DrawEdge(QPainter& painter, WindowHandle w, Rect rect, unsigned edge, unsigned flags) override {
        if (edge != BDR_SUNKENOUTER || flags != BF_RECT) throw PlatformError("unsupported edge");
        const QPalette& palette = checked(w)->palette();
        // The outer edge of a sunken border: shadow on top and left, highlight on bottom and right.
        const int l = rect.left, t = rect.top, r = rect.right - 1, b = rect.bottom - 1;
        painter.save();
        painter.setPen(palette.color(QPalette::Light));
        painter.drawLine(l, b, r, b);
        painter.drawLine(r, t, r, b);
        painter.setPen(palette.color(QPalette::Dark));
        painter.drawLine(l, t, r - 1, t);
        painter.drawLine(l, t, l, b - 1);
        painter.restore();
    }

    double TwipsPerPixelX() override { return 1440.0 / dpiX(); }
    double TwipsPerPixelY() override { return 1440.0 / dpiY(); }
    double ScreenWidth() override { return screen()->geometry().width() * TwipsPerPixelX(); }
    double ScreenHeight() override { return screen()->geometry().height() * TwipsPerPixelY(); }

private:
    static QScreen* screen() {
        QScreen* s = QGuiApplication::primaryScreen();
        if (!s) throw PlatformError("no screen");
        return s;
    }
    static double dpiX() { return screen()->logicalDotsPerInchX(); }
    static double dpiY() { return screen()->logicalDotsPerInchY(); }
};

}  // namespace

std::unique_ptr<WindowSystem> makeQtWindowSystem() { return std::make_unique<QtWindowSystem>(); }

}  // namespace platform
