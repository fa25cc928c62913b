#include "app/StepKeyGrab.h"

#include "app/X11Windows.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <array>

namespace {
constexpr xcb_keysym_t leftKeysym = 0xffc5;  // F8
constexpr xcb_keysym_t rightKeysym = 0xffc6; // F9
// Caps Lock and Num Lock (Mod2 on every common keymap) change nothing: the keys are taken in
// each of their states.
constexpr std::array<quint16, 4> lockStates{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                            XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

} // namespace

std::unique_ptr<StepKeyGrab> StepKeyGrab::forProcessGroup(qint64 processGroup, Pressed pressed)
{
    if (processGroup <= 0)
        return nullptr;
    const auto screen = X11Windows::toolbarScreen();
    if (!screen)
        return nullptr;
    return std::unique_ptr<StepKeyGrab>(
        new StepKeyGrab(screen->connection, screen->root, processGroup, std::move(pressed)));
}

StepKeyGrab::StepKeyGrab(xcb_connection_t* connection, quint32 root, qint64 processGroup,
                         Pressed pressed)
    : m_connection(connection), m_root(root), m_processGroup(processGroup),
      m_pressed(std::move(pressed))
{
    findKeys();
    // The browser's windows come and go: each one mapped is looked for.
    X11Windows::followTopLevels(m_connection, m_root);
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
    const auto map = X11Windows::own(xcb_get_keyboard_mapping_reply(
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

void StepKeyGrab::grabBrowserWindows()
{
    if (m_leftKey == 0 || m_rightKey == 0)
        return;
    const QList<xcb_window_t> found =
        X11Windows::ofProcessGroup(m_connection, m_root, m_processGroup);
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
