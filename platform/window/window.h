#pragma once
// The window operations of hosting, layout, focus and painting, with their Win32 names.
// Window handles are the widgets themselves; null is handle 0.
#include <cstdint>
#include <memory>

class QPainter;
class QWidget;

namespace platform {

using WindowHandle = QWidget*;

inline constexpr int GWL_STYLE = -16;
inline constexpr std::uint32_t WS_CHILD = 0x40000000u;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000u;
inline constexpr std::uint32_t SWP_NOSIZE = 0x0001u;
inline constexpr WindowHandle HWND_TOP = nullptr;
inline constexpr unsigned BDR_SUNKENOUTER = 0x0002u;
inline constexpr unsigned BF_RECT = 0x000Fu;

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

inline bool EqualRect(const Rect& a, const Rect& b) { return a == b; }
inline void InflateRect(Rect& r, int dx, int dy) { r.left -= dx; r.top -= dy; r.right += dx; r.bottom += dy; }

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    virtual std::uint32_t GetWindowLong(WindowHandle w, int index) = 0;
    virtual void SetWindowLong(WindowHandle w, int index, std::uint32_t value) = 0;
    // Re-parents `child` into `parent` (null: a top-level window again); returns the previous parent.
    virtual WindowHandle SetParent(WindowHandle child, WindowHandle parent) = 0;
    virtual void SetWindowPos(WindowHandle w, WindowHandle insertAfter, int x, int y, int cx, int cy,
                              std::uint32_t flags) = 0;
    // The window's rectangle on the screen in pixels, frame included.
    virtual Rect GetWindowRect(WindowHandle w) = 0;
    virtual void SetCursorPos(int x, int y) = 0;
    virtual void SetFocus(WindowHandle w) = 0;
    // DrawEdge on the painter's device, in the palette's shadow and highlight colours of `w`.
    virtual void DrawEdge(QPainter& painter, WindowHandle w, Rect rect, unsigned edge, unsigned flags) = 0;

    // The screen object: twips per pixel and the screen's size in twips.
    virtual double TwipsPerPixelX() = 0;
    virtual double TwipsPerPixelY() = 0;
    virtual double ScreenWidth() = 0;
    virtual double ScreenHeight() = 0;
};

// Twips that a top-level window's outer size has beyond its client area: frame and title bar.
inline constexpr int kFrameAllowanceX = 120;
inline constexpr int kFrameAllowanceY = 410;

std::unique_ptr<WindowSystem> makeQtWindowSystem();

}  // namespace platform
