#include "browser/window/WindowPlacement.h"

#include "browser/Str.h"
#include "browser/devtools/DevToolsConnection.h"
#include "platform/Failure.h"

#include <cmath>

namespace {
// Fractional pixels are rounded; values no screen has are held to what a window can take.
int wholePixels(double pixels)
{
    return std::isfinite(pixels) ? int(std::lround(std::clamp(pixels, -1.0e6, 1.0e6))) : 0;
}

// Asks for the window and, as its answer comes, sets the bounds that `boundsFor` gives for the
// bounds and state that it has, in turn.
void placeWhenKnown(DevToolsConnection& connection, const QString& targetId,
                    const std::function<QList<QJsonObject>(const QJsonObject& now)>& boundsFor)
{
    connection.postChecked(
        str("Browser.getWindowForTarget"), {{str("targetId"), targetId}}, {},
        FailureNumber::ObjectDisconnected, [&connection, boundsFor](const QJsonObject& window) {
            const int windowId = window.value(str("windowId")).toInt();
            const QJsonObject now = window.value(str("bounds")).toObject();
            for (const QJsonObject& bounds : boundsFor(now))
                connection.postChecked(str("Browser.setWindowBounds"),
                                       {{str("windowId"), windowId}, {str("bounds"), bounds}}, {});
        });
}
} // namespace

void WindowPlacement::show(DevToolsConnection& connection, const QString& targetId, bool visible)
{
    placeWhenKnown(connection, targetId, [visible](const QJsonObject& now) -> QList<QJsonObject> {
        const QString state = now.value(str("windowState")).toString();
        if (visible ? state != QLatin1String("minimized") : state == QLatin1String("minimized"))
            return {};
        return {{{str("windowState"), visible ? str("normal") : str("minimized")}}};
    });
}

void WindowPlacement::setEdge(DevToolsConnection& connection, const QString& targetId,
                              const QString& edge, double pixels, bool unlessThere)
{
    const int value = wholePixels(pixels);
    const QJsonObject edgeBounds{{edge, value}};
    placeWhenKnown(
        connection, targetId,
        [edge, value, edgeBounds, unlessThere](const QJsonObject& now) -> QList<QJsonObject> {
            if (now.value(str("windowState")).toString() != QLatin1String("normal"))
                return {{{str("windowState"), str("normal")}}, edgeBounds};
            if (unlessThere && now.value(edge).toInt(value + 1) == value)
                return {};
            return {edgeBounds};
        });
}

QJsonObject WindowPlacement::edgesOf(const QRectF& pixels)
{
    return {{str("left"), wholePixels(pixels.left())},
            {str("top"), wholePixels(pixels.top())},
            {str("width"), wholePixels(pixels.width())},
            {str("height"), wholePixels(pixels.height())}};
}
