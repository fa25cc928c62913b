#pragma once

#include <QRect>
#include <QtMath>

// The designed windows are measured in twips, 1/1440 inch; the screen in pixels.
namespace Twips {
constexpr double PerInch = 1440.0;

inline int toPixels(int twips, qreal dotsPerInch)
{
    return qRound(twips * dotsPerInch / PerInch);
}

inline QRect toPixels(QRect twips, qreal dotsPerInch)
{
    return {toPixels(twips.x(), dotsPerInch), toPixels(twips.y(), dotsPerInch),
            toPixels(twips.width(), dotsPerInch), toPixels(twips.height(), dotsPerInch)};
}

inline double fromPixels(double pixels, qreal dotsPerInch)
{
    return pixels * PerInch / dotsPerInch;
}
} // namespace Twips
