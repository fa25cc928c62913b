#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;

// One request for a list at a web address. Certificates are always verified; a redirect is
// followed only to http or https and only a few times; the body is bounded while it arrives,
// after any gzip is undone; a server that stops sending, or never finishes, is given up on.
class ListFetch : public QObject
{
    Q_OBJECT
public:
    struct Limits
    {
        qint64 maxBytes = 16 * 1024 * 1024;
        // Without a byte for this long the server is taken as gone.
        std::chrono::milliseconds idle{15000};
        // The whole answer, however slowly it trickles in.
        std::chrono::milliseconds whole{60000};
        int maxRedirects = 5;
    };
    // What the last answer with a body said about its version; sent back to ask whether the
    // list changed since.
    struct Validators
    {
        QByteArray etag;
        QByteArray lastModified;
    };
    struct Answer
    {
        enum class Kind { Body, Unchanged, Failed };
        Kind kind = Kind::Failed;
        QByteArray body;
        Validators validators;
        // For Failed: why, as the end of a sentence ("the server answered 404 Not Found").
        QString reason;
    };

    ListFetch(QNetworkAccessManager& network, const Limits& limits);
    ~ListFetch() override;

    // Asks for `address`, conditionally when `since` holds a validator; `finished` follows
    // once, from the event loop.
    void start(const QString& address, const Validators& since = {});
    // The same, waiting for the answer. User input waits meanwhile; other events run.
    static Answer fetch(QNetworkAccessManager& network, const Limits& limits,
                        const QString& address, const Validators& since = {});

signals:
    void finished(const ListFetch::Answer& answer);

private:
    void redirected(const QUrl& to);
    void readBody();
    void fail(const QString& reason);
    void done();
    Answer answerFromReply();

    QNetworkAccessManager& m_network;
    Limits m_limits;
    QPointer<QNetworkReply> m_reply;
    QTimer m_whole;
    QSet<QUrl> m_visited;
    QByteArray m_body;
    QString m_failure;
    bool m_finished = false;
};
