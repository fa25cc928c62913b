#pragma once

#include "session/QuietMoment.h"

#include <QLocalServer>
#include <QObject>
#include <QStringList>

// One toolbar per screen. A copy started while another runs in the same login session on the
// same display hands its theme file (or nothing) to the running copy over a local socket and
// ends; the running copy listens for the whole run.
class SingleToolbar : public QObject
{
    Q_OBJECT
public:
    // `name`: the socket's path, socketName() for the program.
    explicit SingleToolbar(QString name);
    ~SingleToolbar() override;
    SingleToolbar(const SingleToolbar&) = delete;
    SingleToolbar& operator=(const SingleToolbar&) = delete;

    // In the login session's runtime directory, named after the screen that the display
    // leads to. Empty when no folder is this user's own: each copy then runs alone.
    static QString socketName();
    // Whether a running copy listens at `name`, asked before the application object exists
    // (no Qt socket yet). The copy takes the bare connection as a call to the front, which the
    // hand-over that follows makes anyway.
    static bool anotherCopyListens(const QString& name);

    // True when a running copy took the request: `themeFile` (a full path) or, when empty,
    // just a call to the front; this copy then ends. False when none runs (a socket that a
    // killed copy left behind counts as none): this copy listens from now on.
    bool handOverOrListen(const QString& themeFile);

signals:
    // Only while no modal dialog is open: a request that comes in meanwhile waits for it,
    // since a handler is then running under the dialog.
    void requested(const QString& themeFile);

private:
    bool handOver(const QString& themeFile);
    void listen();
    void receive();
    void deliver();

    QString m_name;
    QLocalServer m_server;
    QStringList m_waiting;
    QuietMoment m_noModal{nullptr, &QuietMoment::modalOpen};
};
