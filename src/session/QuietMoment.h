#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class QWidget;

// What arrives from outside while the user works in a dialog or in the dropped-down list (a
// list read from the web, a change found on a round, a step, a file handed over by a second
// start) waits until they have closed: it never changes the list under the pointer, nor runs
// inside another command. Whether they are open is asked here alone; a waiter looks again
// whenever a window has hidden.
class QuietMoment : public QObject
{
public:
    // A handler waits under a modal dialog or message box.
    static bool modalOpen();
    // A modal dialog, or a popup such as a dropped-down list.
    static bool modalOrPopupOpen();
    // Any dialog or message box of the program, its own modeless dialogs too: every visible
    // window besides `main`. Popups and tooltips are not windows of that kind.
    static bool windowOpenBeside(const QWidget* main);

    // `busy`: what it waits for.
    explicit QuietMoment(QObject* parent = nullptr,
                         std::function<bool()> busy = &QuietMoment::modalOrPopupOpen);

    // Runs `then` now when it is quiet, else once it is; it replaces whatever waits still.
    void run(std::function<void()> then);
    // Drops what waits.
    void cancel();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void check();

    std::function<bool()> m_busy;
    std::function<void()> m_waiting;
    // A window that hides is still visible, and still modal, while its hide event is sent.
    QTimer m_afterHide;
};
