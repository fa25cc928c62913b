#pragma once

#include "browser/Browser.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QSet>

#include <functional>
#include <memory>

struct xcb_connection_t;

// The step keys taken from the X server for the browser's windows with a passive grab: while
// one of those windows has the keyboard, the server hands F8 and F9 to the toolbar alone, so
// they step whatever the page runs (a loop, a dialog) and wherever the focus is inside the
// browser, and no page can make or hold them. Keys with Ctrl, Alt, Shift or Super are not taken
// and reach the browser as before; a key held down steps once.
class StepKeyGrab : public QObject, public QAbstractNativeEventFilter
{
public:
    using Pressed = std::function<void(StepKey)>;

    // Takes the keys for every window of the browser whose processes form `processGroup`, now and
    // as its windows come. Null when the program does not run on X.
    static std::unique_ptr<StepKeyGrab> forProcessGroup(qint64 processGroup, Pressed pressed);
    ~StepKeyGrab() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    // The browser's windows that the keys are taken from now.
    const QSet<quint32>& windows() const { return m_windows; }

private:
    StepKeyGrab(xcb_connection_t* connection, quint32 root, qint64 processGroup, Pressed pressed);
    void findKeys();
    void grabBrowserWindows();
    void take(bool press, quint8 keycode, quint32 time);

    xcb_connection_t* m_connection;
    quint32 m_root;
    qint64 m_processGroup;
    Pressed m_pressed;
    quint8 m_leftKey = 0;
    quint8 m_rightKey = 0;
    QSet<quint32> m_windows;
    quint8 m_held = 0;
    quint8 m_released = 0;
    quint32 m_releasedAt = 0;
};
