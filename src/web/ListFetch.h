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
// Nothing waits: the answer comes as `finished`, once, from the event loop.
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

    // Asks for `address`, conditionally when `since` holds a validator.
    void start(const QString& address, const Validators& since = {});
    const QString& address() const { return m_address; }

signals:
    void finished(const ListFetch::Answer& answer);

private:
    // Each hop of a redirect is a request of its own, so that each is asked for once and every
    // rule on where it leads is this class's.
    void request(const QUrl& url);
    void hopEnded(QNetworkReply* reply);
    bool followRedirect(QNetworkReply* reply);
    void checkDeclaredLength(QNetworkReply* reply);
    void readBody(QNetworkReply* reply);
    void fail(const QString& reason);
    void finish(Answer answer);
    Answer answerFrom(QNetworkReply* reply);
    void dropReply();

    QNetworkAccessManager& m_network;
    Limits m_limits;
    QString m_address;
    Validators m_since;
    QPointer<QNetworkReply> m_reply;
    QTimer m_whole;
    QSet<QUrl> m_visited;
    QByteArray m_body;
    bool m_finished = false;
};
