#include "browser/window/WindowPlacement.h"

#include "browser/Str.h"
#include "browser/devtools/DevToolsConnection.h"
#include "platform/Failure.h"

#include <cmath>

namespace {
// Fractional pixels are rounded; values no screen has are held to what a window can take.
int wholePixels(double pixels)
{
    if (!std::isfinite(pixels))
        return 0;
    return int(std::lround(std::clamp(pixels, -1.0e6, 1.0e6)));
}

// Asks for the window and, as its answer comes, sets the bounds that `boundsFor` gives for the
// state that it is in, in turn.
void placeWhenKnown(DevToolsConnection& connection, const QString& targetId,
                    const std::function<QList<QJsonObject>(const QString& state)>& boundsFor)
{
    connection.postChecked(
        str("Browser.getWindowForTarget"), {{str("targetId"), targetId}}, {},
        FailureNumber::ObjectDisconnected, [&connection, boundsFor](const QJsonObject& window) {
            const int windowId = window.value(str("windowId")).toInt();
            const QString state =
                window.value(str("bounds")).toObject().value(str("windowState")).toString();
            for (const QJsonObject& bounds : boundsFor(state))
                connection.postChecked(str("Browser.setWindowBounds"),
                                       {{str("windowId"), windowId}, {str("bounds"), bounds}}, {});
        });
}
} // namespace

void WindowPlacement::show(DevToolsConnection& connection, const QString& targetId, bool visible)
{
    placeWhenKnown(connection, targetId, [visible](const QString& state) -> QList<QJsonObject> {
        if (visible ? state != QLatin1String("minimized") : state == QLatin1String("minimized"))
            return {};
        return {{{str("windowState"), visible ? str("normal") : str("minimized")}}};
    });
}

void WindowPlacement::setEdge(DevToolsConnection& connection, const QString& targetId,
                              const QString& edge, double pixels)
{
    const QJsonObject edgeBounds{{edge, wholePixels(pixels)}};
    placeWhenKnown(connection, targetId, [edgeBounds](const QString& state) -> QList<QJsonObject> {
        if (state == QLatin1String("normal"))
            return {edgeBounds};
        return {{{str("windowState"), str("normal")}}, edgeBounds};
    });
}
