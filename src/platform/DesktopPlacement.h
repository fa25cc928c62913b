#pragma once

#include <QMargins>
#include <QRect>

// Where the toolbar and the browser's window go on a monitor: rectangles in, rectangles out.
namespace DesktopPlacement {

// A monitor as the toolbar sees it, in screen pixels: all of it, and the part that panels
// leave free.
struct Monitor
{
    QRect geometry;
    QRect workArea;
    qreal dotsPerInchX = 96.0;
    qreal dotsPerInchY = 96.0;
};

// Row 78 of the monitor: where the browser's page begins when nothing reaches lower.
constexpr int BrowserTop = 78;

// The toolbar's whole window, frame included: the free area's top left, across its width.
QRect toolbarFrame(const Monitor& monitor, int frameHeight);
// The part of the browser's window that shows the page: row 78 of the monitor, or below the
// toolbar's frame where that ends lower; of the designed size, held inside the free area.
QRect browserDrawn(const Monitor& monitor, const QRect& toolbarFrame);
// The browser's window that shows `drawn`, with a shadow of `extents` round it that may lie
// under other windows.
QRect browserWindow(const QRect& drawn, const QMargins& extents);

} // namespace DesktopPlacement
