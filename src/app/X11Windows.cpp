#include "app/X11Windows.h"

#include <QGuiApplication>

#include <unistd.h>

using X11Windows::own;

namespace {
QList<xcb_window_t> childrenOf(xcb_connection_t* c, const QList<xcb_window_t>& parents)
{
    QList<xcb_query_tree_cookie_t> cookies;
    for (const xcb_window_t parent : parents)
        cookies << xcb_query_tree(c, parent);
    QList<xcb_window_t> children;
    for (const xcb_query_tree_cookie_t cookie : cookies) {
        const auto tree = own(xcb_query_tree_reply(c, cookie, nullptr));
        if (!tree)
            continue;
        const xcb_window_t* child = xcb_query_tree_children(tree.get());
        children.append(
            QList<xcb_window_t>(child, child + xcb_query_tree_children_length(tree.get())));
    }
    return children;
}
} // namespace

std::optional<X11Windows::Screen> X11Windows::toolbarScreen()
{
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    // The offscreen platform answers too, without a connection of its own.
    if (!x11 || !x11->connection())
        return std::nullopt;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x11->connection())).data;
    if (!screen)
        return std::nullopt;
    return Screen{x11->connection(), screen->root};
}

xcb_atom_t X11Windows::atom(xcb_connection_t* c, const char* name)
{
    const auto reply =
        own(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, quint16(strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QList<quint32> X11Windows::cardinals(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property)
{
    const auto reply = own(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_ATOM_CARDINAL, 0, 16), nullptr));
    if (!reply || reply->format != 32)
        return {};
    const auto* values = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
    return QList<quint32>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

std::optional<X11Windows::Place> X11Windows::placeOf(xcb_connection_t* c, xcb_window_t window)
{
    const auto geometry = own(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    if (!geometry)
        return std::nullopt;
    const auto onRoot = own(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, geometry->root, 0, 0), nullptr));
    if (!onRoot)
        return std::nullopt;
    return Place{{onRoot->dst_x, onRoot->dst_y, geometry->width, geometry->height},
                 geometry->depth};
}

QList<xcb_window_t> X11Windows::ofProcessGroup(xcb_connection_t* c, xcb_window_t root,
                                               qint64 processGroup)
{
    const xcb_atom_t pidAtom = atom(c, "_NET_WM_PID");
    QList<xcb_window_t> candidates = childrenOf(c, {root});
    candidates += childrenOf(c, candidates);
    QList<xcb_get_property_cookie_t> cookies;
    for (const xcb_window_t window : std::as_const(candidates))
        cookies << xcb_get_property(c, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1);
    QList<xcb_window_t> found;
    for (qsizetype i = 0; i < cookies.size(); ++i) {
        const auto property = own(xcb_get_property_reply(c, cookies.at(i), nullptr));
        if (!property || xcb_get_property_value_length(property.get()) != 4)
            continue;
        const auto pid =
            pid_t(*static_cast<const quint32*>(xcb_get_property_value(property.get())));
        if (pid > 0 && processGroup > 0 && getpgid(pid) == processGroup)
            found << candidates.at(i);
    }
    return found;
}

void X11Windows::followTopLevels(xcb_connection_t* c, xcb_window_t root)
{
    if (const auto attributes =
            own(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, root), nullptr))) {
        const quint32 mask = attributes->your_event_mask | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    }
}
