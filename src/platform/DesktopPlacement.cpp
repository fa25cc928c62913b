#include "platform/DesktopPlacement.h"

#include "platform/Twips.h"

#include <algorithm>

namespace {
// The designed window's size: the screen's, taken in twips, times a fraction, taken in pixels.
int designedPixels(int screenPixels, qreal dotsPerInch, double fraction)
{
    return qRound(Twips::fromPixels(screenPixels, dotsPerInch) * fraction);
}
} // namespace

QRect DesktopPlacement::toolbarFrame(const Monitor& monitor, int frameHeight)
{
    return {monitor.workArea.topLeft(), QSize(monitor.workArea.width(), frameHeight)};
}

QRect DesktopPlacement::browserDrawn(const Monitor& monitor, const QRect& toolbarFrame)
{
    const QRect& free = monitor.workArea;
    const int top = std::max({monitor.geometry.top() + BrowserTop,
                              toolbarFrame.top() + toolbarFrame.height(), free.top()});
    const QSize designed(designedPixels(monitor.geometry.width(), monitor.dotsPerInchX, 0.067),
                         designedPixels(monitor.geometry.height(), monitor.dotsPerInchY, 0.055));
    const int bottom = free.top() + free.height();
    return {free.left(), top, std::min(designed.width(), free.width()),
            std::max(0, std::min(designed.height(), bottom - top))};
}

QRect DesktopPlacement::browserWindow(const QRect& drawn, const QMargins& extents)
{
    return drawn.marginsAdded(extents);
}
