#include "app/StepKeyGrab.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <array>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {
constexpr xcb_keysym_t leftKeysym = 0xffc5;  // F8
constexpr xcb_keysym_t rightKeysym = 0xffc6; // F9
// Caps Lock and Num Lock (Mod2 on every common keymap) change nothing: the keys are taken in
// each of their states.
constexpr std::array<quint16, 4> lockStates{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                            XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

template <typename Reply> using Owned = std::unique_ptr<Reply, decltype(&free)>;
template <typename Reply> Owned<Reply> own(Reply* reply)
{
    return Owned<Reply>(reply, &free);
}

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

std::unique_ptr<StepKeyGrab> StepKeyGrab::forProcessGroup(qint64 processGroup, Pressed pressed)
{
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || processGroup <= 0)
        return nullptr;
    xcb_connection_t* connection = x11->connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return nullptr;
    return std::unique_ptr<StepKeyGrab>(
        new StepKeyGrab(connection, screen->root, processGroup, std::move(pressed)));
}

StepKeyGrab::StepKeyGrab(xcb_connection_t* connection, quint32 root, qint64 processGroup,
                         Pressed pressed)
    : m_connection(connection), m_root(root), m_processGroup(processGroup),
      m_pressed(std::move(pressed))
{
    const char pidName[] = "_NET_WM_PID";
    if (const auto atom = own(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, sizeof pidName - 1, pidName), nullptr)))
        m_pidAtom = atom->atom;
    findKeys();
    // The browser's windows come and go: each one mapped is looked for. What the toolbar's own
    // windows asked of the root window stays asked.
    if (const auto attributes = own(xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, m_root), nullptr))) {
        const quint32 mask = attributes->your_event_mask | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
    grabBrowserWindows();
}

StepKeyGrab::~StepKeyGrab()
{
    // The toolbar's connection goes with the application object.
    if (!QCoreApplication::instance())
        return;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const xcb_window_t window : std::as_const(m_windows))
        for (const quint8 key : {m_leftKey, m_rightKey})
            for (const quint16 state : lockStates)
                xcb_ungrab_key(m_connection, key, window, state);
    xcb_flush(m_connection);
}

void StepKeyGrab::findKeys()
{
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    const quint8 first = setup->min_keycode;
    const auto map = own(xcb_get_keyboard_mapping_reply(
        m_connection,
        xcb_get_keyboard_mapping(m_connection, first, quint8(setup->max_keycode - first + 1)),
        nullptr));
    if (!map)
        return;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    const int perKey = map->keysyms_per_keycode;
    const int count = xcb_get_keyboard_mapping_keysyms_length(map.get());
    // The keys' own symbols, unshifted.
    for (int i = 0; perKey > 0 && i < count; i += perKey) {
        if (syms[i] == leftKeysym && m_leftKey == 0)
            m_leftKey = quint8(first + i / perKey);
        if (syms[i] == rightKeysym && m_rightKey == 0)
            m_rightKey = quint8(first + i / perKey);
    }
}

// Top-level windows, and inside a window manager's frames the windows they hold, that a process
// of the browser made.
QList<quint32> StepKeyGrab::browserWindows() const
{
    QList<xcb_window_t> candidates = childrenOf(m_connection, {m_root});
    candidates += childrenOf(m_connection, candidates);
    QList<xcb_get_property_cookie_t> cookies;
    for (const xcb_window_t window : std::as_const(candidates))
        cookies << xcb_get_property(m_connection, 0, window, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1);
    QList<quint32> found;
    for (qsizetype i = 0; i < cookies.size(); ++i) {
        const auto property = own(xcb_get_property_reply(m_connection, cookies.at(i), nullptr));
        if (!property || xcb_get_property_value_length(property.get()) != 4)
            continue;
        const auto pid =
            pid_t(*static_cast<const quint32*>(xcb_get_property_value(property.get())));
        if (pid > 0 && getpgid(pid) == m_processGroup)
            found << candidates.at(i);
    }
    return found;
}

void StepKeyGrab::grabBrowserWindows()
{
    if (m_leftKey == 0 || m_rightKey == 0 || m_pidAtom == 0)
        return;
    const QList<quint32> found = browserWindows();
    QList<xcb_void_cookie_t> grabs;
    for (const xcb_window_t window : found) {
        if (m_windows.contains(window))
            continue;
        for (const quint8 key : {m_leftKey, m_rightKey})
            for (const quint16 state : lockStates)
                grabs << xcb_grab_key_checked(m_connection, 0, window, state, key,
                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    }
    // A window that went in the meantime refuses; the next one mapped is looked for all the same.
    for (const xcb_void_cookie_t grab : grabs)
        free(xcb_request_check(m_connection, grab));
    m_windows = QSet<quint32>(found.begin(), found.end());
}

bool StepKeyGrab::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE: {
        const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (!m_windows.contains(key->event) ||
            (key->detail != m_leftKey && key->detail != m_rightKey))
            return false;
        take(event->response_type == XCB_KEY_PRESS, key->detail, key->time);
        return true;
    }
    case XCB_MAP_NOTIFY:
        if (reinterpret_cast<const xcb_map_notify_event_t*>(event)->event == m_root)
            grabBrowserWindows();
        return false;
    case XCB_DESTROY_NOTIFY:
        m_windows.remove(reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window);
        return false;
    default:
        return false;
    }
}

// A key held down repeats: as presses alone, or as a release and a press at the same moment.
void StepKeyGrab::take(bool press, quint8 keycode, quint32 time)
{
    if (!press) {
        if (m_held == keycode)
            m_held = 0;
        m_released = keycode;
        m_releasedAt = time;
        return;
    }
    const bool repeat = m_held == keycode || (m_released == keycode && m_releasedAt == time);
    m_held = keycode;
    m_released = 0;
    if (!repeat)
        m_pressed(keycode == m_leftKey ? StepKey::Left : StepKey::Right);
}
