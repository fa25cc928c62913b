#include "app/BrowserShadow.h"

#include "app/X11Windows.h"

#include <QCoreApplication>

std::unique_ptr<BrowserShadow> BrowserShadow::forProcessGroup(qint64 processGroup)
{
    if (processGroup <= 0)
        return nullptr;
    const auto screen = X11Windows::toolbarScreen();
    if (!screen)
        return nullptr;
    return std::unique_ptr<BrowserShadow>(
        new BrowserShadow(screen->connection, screen->root, processGroup));
}

BrowserShadow::BrowserShadow(xcb_connection_t* connection, quint32 root, qint64 processGroup)
    : m_connection(connection), m_root(root), m_processGroup(processGroup),
      m_extentsAtom(X11Windows::atom(connection, "_GTK_FRAME_EXTENTS"))
{
    X11Windows::followTopLevels(m_connection, m_root);
    QCoreApplication::instance()->installNativeEventFilter(this);
    look();
}

BrowserShadow::~BrowserShadow()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool BrowserShadow::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
    case XCB_MAP_NOTIFY:
        if (reinterpret_cast<const xcb_map_notify_event_t*>(event)->event == m_root)
            look();
        break;
    case XCB_UNMAP_NOTIFY:
        if (m_followed.contains(reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->window))
            look();
        break;
    case XCB_PROPERTY_NOTIFY: {
        const auto* property = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (property->atom == m_extentsAtom && m_followed.contains(property->window))
            look();
        break;
    }
    case XCB_CONFIGURE_NOTIFY:
        if (reinterpret_cast<const xcb_configure_notify_event_t*>(event)->window == m_window)
            look();
        break;
    case XCB_DESTROY_NOTIFY:
        m_followed.remove(reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window);
        break;
    }
    return false;
}

// The window on show is the one that counts: the browser keeps others unmapped. Its margin is
// a shadow, that shows what lies below it, only in a window with an alpha channel: without one
// (no compositor) the browser paints it as a frame.
void BrowserShadow::look()
{
    const QList<xcb_window_t> windows =
        X11Windows::ofProcessGroup(m_connection, m_root, m_processGroup);
    QMargins extents;
    quint32 shown = 0;
    for (const xcb_window_t window : windows) {
        if (!m_followed.contains(window)) {
            const quint32 mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(m_connection, window, XCB_CW_EVENT_MASK, &mask);
            m_followed.insert(window);
        }
        const auto attributes = X11Windows::own(xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        shown = window;
    }
    xcb_flush(m_connection);
    QRect geometry;
    if (const auto placed = shown ? X11Windows::placeOf(m_connection, shown) : std::nullopt) {
        geometry = placed->rect;
        const QList<quint32> sides = X11Windows::cardinals(m_connection, shown, m_extentsAtom);
        if (sides.size() == 4 && placed->depth == 32)
            extents =
                QMargins(int(sides.at(0)), int(sides.at(2)), int(sides.at(1)), int(sides.at(3)));
    }
    if (extents == m_extents && shown == m_window && geometry == m_geometry)
        return;
    m_extents = extents;
    m_window = shown;
    m_geometry = geometry;
    emit changed();
}
