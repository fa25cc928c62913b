#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// What arrives from outside while the user works in a dialog or in the dropped-down list (a
// list read from the web, a change found on a round) waits until they have closed: it never
// changes the list under the pointer, nor runs inside another command.
class QuietMoment : public QObject
{
public:
    explicit QuietMoment(QObject* parent = nullptr);

    // Whether no dialog is open and no list is dropped down.
    static bool now();
    // Runs `then` now when it is quiet, else once it is; it replaces whatever waits still.
    void run(std::function<void()> then);
    // Drops what waits.
    void cancel();

private:
    void check();

    QTimer m_check;
    std::function<void()> m_waiting;
};
