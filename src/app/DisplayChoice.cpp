#include "app/DisplayChoice.h"

#include <QByteArrayList>

#include <xcb/xcb.h>

namespace {
bool namesWayland(const QByteArray& platforms)
{
    return platforms.isEmpty() || platforms.split(';').constFirst().startsWith("wayland");
}

bool xServerAnswers(const QByteArray& display)
{
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}
} // namespace

QString DisplayChoice::apply()
{
    const QByteArray asked = qgetenv("QT_QPA_PLATFORM");
    if (!namesWayland(asked) && asked != "xcb")
        return {};
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return QStringLiteral("Quillon places its windows on an X server (XWayland on a Wayland "
                              "desktop), and DISPLAY is not set.");
    if (!xServerAnswers(display))
        return QStringLiteral("No X server answers at DISPLAY '%1'.")
            .arg(QString::fromLocal8Bit(display));
    qputenv("QT_QPA_PLATFORM", "xcb");
    return {};
}
