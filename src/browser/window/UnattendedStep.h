#pragma once

#include <QObject>
#include <QString>

#include <functional>

class DevToolsConnection;
class KeptDocumentServer;
class ShownPage;

// A timed step, from the step until its page has come or somebody takes over. Nobody is there to
// deal with what the link answers: the browser refuses a download (one cancelled only once it is
// reported may be saved whole by then), and a load that fails is dropped, so that the page
// before stays on show instead of an error page until the next step. Either way the link is
// passed over.
class UnattendedStep : public QObject
{
public:
    using PassedOver = std::function<void(const QString& link, const QString& why)>;

    UnattendedStep(DevToolsConnection& connection, const ShownPage& page,
                   KeptDocumentServer& server, QObject* parent);

    // A step onto `link`: a timed one, or with `timed` false one that somebody asked for.
    void begin(const QString& link, bool timed);
    // The step's page has come, or somebody asked for another.
    void end();
    // The user works in the page: a download they start there is theirs, once the timed step's
    // own load is over.
    void userActive();
    void watchPassedOver(PassedOver passedOver) { m_passedOver = std::move(passedOver); }

private:
    void refuseDownloads(bool refuse);
    void passOverFailures(bool on);
    void passOver(const QString& why);

    DevToolsConnection& m_connection;
    const ShownPage& m_page;
    KeptDocumentServer& m_server;
    PassedOver m_passedOver;
    QString m_link; // until its page has loaded, or it was passed over
    bool m_refusingDownloads = false;
};
