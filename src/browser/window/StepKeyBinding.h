#pragma once

#include "browser/Browser.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

class DevToolsConnection;
class ShownPage;

// The step keys in the pages of the visible window. A listener runs in an isolated world of
// every document, where the page's own scripts cannot reach it, and tells the program through
// a binding that exists in that world alone. It hears only trusted key events, those of the
// user's keyboard: a key event that a page's script makes cannot step the toolbar.
//
// F8 and F9 reach the page untaken: Chromium gives them no meaning, and the desktops that its
// users run (GNOME, KDE Plasma, Xfce) use them only together with Ctrl, Alt or Super. Held
// modifiers leave the keys to those desktops, and a held-down key steps once.
//
// The same listener tells when the user works in the page (keys, clicks, the wheel, touches,
// pointer moves; trusted ones only, so that a page cannot pass for a busy user). A moving
// pointer sends an event every few milliseconds; the listener reports at most once a
// second, and once more after the input has stopped, so the last input is never lost.
class StepKeyBinding : public QObject
{
public:
    static constexpr const char* LeftKey = "F8";
    static constexpr const char* RightKey = "F9";

    // At most one report of input in the page per this many milliseconds.
    static constexpr int InputReportEveryMs = 1000;

    // Listens for the key and input reports of the page on show from now on; stops when
    // destroyed. `inputSeen` hears of every report of input, before `active`.
    StepKeyBinding(DevToolsConnection& connection, const ShownPage& page,
                   std::function<void()> inputSeen, QObject* parent = nullptr);

    // Who hears of the keys and of the user's input; either may be empty.
    std::function<void(StepKey)> pressed;
    std::function<void()> active;

    // Puts the listener into the page on show and every later document, ahead of any page that
    // the window loads after it; the browser's refusal fails the next operation that settles
    // (DevToolsConnection::settle()).
    void install();
    // The same in a page that waits to start (a prerender of the window), sent without waiting
    // for the answers: they come only once it runs.
    void installIn(const QString& sessionId);

private:
    static QList<std::pair<QString, QJsonObject>> setUpCommands();

    DevToolsConnection& m_connection;
    const ShownPage& m_page;
    std::function<void()> m_inputSeen;
};
