#pragma once

#include <QJsonObject>
#include <QRectF>
#include <QString>

class DevToolsConnection;

// The window of the target `targetId` on the screen: its state and its edges. Never holds up a
// page: nobody waits for the browser's answers, and the next operation that settles checks them
// (DevToolsConnection::postChecked()).
namespace WindowPlacement {

// Shows the window as it was (normal), or minimizes it.
void show(DevToolsConnection& connection, const QString& targetId, bool visible);
// Moves one edge ("top", "left") or sets one size ("width", "height"), in screen pixels.
// Fractional values are rounded; a maximized or minimized window is made normal first.
// `unlessThere`: not when the edge is there already, as in a window made in its place. Only for
// an edge not set before: the window's answer would not show a setting still on its way.
void setEdge(DevToolsConnection& connection, const QString& targetId, const QString& edge,
             double pixels, bool unlessThere);
// The window's edges for the browser's commands ("left", "top", "width", "height"), rounded as
// setEdge() rounds them.
QJsonObject edgesOf(const QRectF& pixels);

} // namespace WindowPlacement
