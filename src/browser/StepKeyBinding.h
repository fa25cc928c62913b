#pragma once

#include "browser/Browser.h"

#include <QJsonObject>
#include <QString>

class ChromiumConnection;

// The step keys in the pages of the visible window. A listener runs in an isolated world of
// every document, where the page's own scripts cannot reach it, and tells the program through
// a binding that exists in that world alone. It hears only trusted key events, those of the
// user's keyboard: a key event that a page's script makes cannot step the toolbar.
//
// F8 and F9 reach the page untaken: Chromium gives them no meaning, and the desktops that its
// users run (GNOME, KDE Plasma, Xfce) use them only together with Ctrl, Alt or Super. Held
// modifiers leave the keys to those desktops, and a held-down key steps once.
class StepKeyBinding
{
public:
    static constexpr const char* LeftKey = "F8";
    static constexpr const char* RightKey = "F9";

    // Listens for the session's key reports from now on; stops when destroyed.
    StepKeyBinding(ChromiumConnection& connection, QString sessionId,
                   std::function<void(StepKey)> pressed);
    ~StepKeyBinding();
    StepKeyBinding(const StepKeyBinding&) = delete;
    StepKeyBinding& operator=(const StepKeyBinding&) = delete;

    // Puts the listener into the page on show and every later document; throws Failure (462)
    // when the browser refuses.
    void install();

private:
    void handleEvent(const QJsonObject& event) const;

    ChromiumConnection& m_connection;
    QString m_sessionId;
    std::function<void(StepKey)> m_pressed;
    int m_listenerId = 0;
};
