#pragma once

#include <QList>
#include <QRect>

#include <memory>
#include <optional>
#include <xcb/xcb.h>

// What the toolbar asks of the X server about other programs' windows, over its own connection.
namespace X11Windows {

template <typename Reply> using Owned = std::unique_ptr<Reply, decltype(&free)>;
template <typename Reply> Owned<Reply> own(Reply* reply)
{
    return Owned<Reply>(reply, &free);
}

struct Screen
{
    xcb_connection_t* connection;
    xcb_window_t root;
};
// The toolbar's connection and its screen's root window; none when the program does not run on
// X.
std::optional<Screen> toolbarScreen();
xcb_atom_t atom(xcb_connection_t* c, const char* name);
// A property of 32-bit values; empty when the window has none.
QList<quint32> cardinals(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property);
// Where a window is on the screen, and the depth of its pixels (32: with an alpha channel).
struct Place
{
    QRect rect;
    int depth = 0;
};
std::optional<Place> placeOf(xcb_connection_t* c, xcb_window_t window);
// Top-level windows, and inside a window manager's frames the windows they hold, that a process
// of `processGroup` made.
QList<xcb_window_t> ofProcessGroup(xcb_connection_t* c, xcb_window_t root, qint64 processGroup);
// The root's children mapped and gone come as events; what the toolbar's own windows asked of
// the root window stays asked.
void followTopLevels(xcb_connection_t* c, xcb_window_t root);

} // namespace X11Windows
