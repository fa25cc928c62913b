#include "web/ListFetch.h"

#include "web/WebAddress.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

namespace {
bool isWebScheme(const QUrl& url)
{
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QString tooLarge(qint64 maxBytes)
{
    return QStringLiteral("it is larger than %1 MiB").arg(maxBytes >> 20);
}

// Qt's own text, where it adds to the sentence: some are empty or end in a colon.
QString detail(QString text)
{
    text = text.trimmed();
    while (text.endsWith(QLatin1Char(':')))
        text = text.chopped(1).trimmed();
    return text.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(text);
}

QString networkReason(const QNetworkReply& reply)
{
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("the server refused the connection");
    case QNetworkReply::HostNotFoundError:
        return reply.url().host().isEmpty()
                   ? QStringLiteral("the address names no server")
                   : QStringLiteral("no server is known by the name %1").arg(reply.url().host());
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("the server closed the connection before its answer ended");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("its certificate does not verify") + detail(reply.errorString());
    // Qt's own check of a compressed body that unpacks to far more than it came as, or that is
    // no compressed body at all.
    case QNetworkReply::UnknownContentError:
        return QStringLiteral("its compressed body could not be unpacked within bounds");
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        return QStringLiteral("the server stopped sending");
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::ProtocolInvalidOperationError:
        return QStringLiteral("its answer is not one that HTTP allows");
    default:
        return QStringLiteral("the network failed") + detail(reply.errorString());
    }
}
} // namespace

ListFetch::ListFetch(QNetworkAccessManager& network, const Limits& limits)
    : m_network(network), m_limits(limits)
{
    m_whole.setSingleShot(true);
    connect(&m_whole, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("its answer did not end in time")); });
}

ListFetch::~ListFetch()
{
    dropReply();
}

void ListFetch::start(const QString& address, const Validators& since)
{
    m_address = address;
    m_since = since;
    const QUrl url = WebAddress::url(address);
    m_visited = {url};
    m_whole.start(m_limits.whole);
    request(url);
}

void ListFetch::request(const QUrl& url)
{
    QNetworkRequest request{url};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(int(m_limits.idle.count()));
    // The list itself, not a copy that something on the way kept.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    if (!m_since.etag.isEmpty())
        request.setRawHeader("If-None-Match", m_since.etag);
    if (!m_since.lastModified.isEmpty())
        request.setRawHeader("If-Modified-Since", m_since.lastModified);
    // Every handler names its reply: a signal of a reply that was let go is no longer ours,
    // whatever order Qt sends them in.
    QNetworkReply* reply = m_network.get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this,
            [this, reply] { checkDeclaredLength(reply); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { readBody(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { hopEnded(reply); });
}

void ListFetch::checkDeclaredLength(QNetworkReply* reply)
{
    if (reply != m_reply)
        return;
    if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > m_limits.maxBytes)
        fail(tooLarge(m_limits.maxBytes));
}

// The bound holds for the bytes as they come out of any gzip, so a small compressed body
// cannot grow without end.
void ListFetch::readBody(QNetworkReply* reply)
{
    if (reply != m_reply)
        return;
    m_body += reply->readAll();
    if (m_body.size() > m_limits.maxBytes)
        fail(tooLarge(m_limits.maxBytes));
}

void ListFetch::hopEnded(QNetworkReply* reply)
{
    if (reply != m_reply || followRedirect(reply))
        return;
    finish(answerFrom(reply));
}

// True when the hop was a redirect, followed or failed.
bool ListFetch::followRedirect(QNetworkReply* reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray location = reply->rawHeader("Location");
    if (!isRedirect(status) || location.isEmpty())
        return false;
    const QUrl to = reply->url().resolved(QUrl::fromEncoded(location));
    if (!isWebScheme(to)) {
        fail(QStringLiteral("it is sent on to an address that is not http or https (%1)")
                 .arg(to.scheme()));
    } else if (m_visited.contains(to)) {
        // A circle is told at its first turn, not after the most redirects allowed.
        fail(QStringLiteral("it is sent on in a circle"));
    } else if (m_visited.size() > m_limits.maxRedirects) {
        fail(QStringLiteral("it is sent on more than %1 times").arg(m_limits.maxRedirects));
    } else {
        m_visited.insert(to);
        dropReply();
        m_body.clear();
        request(to);
    }
    return true;
}

void ListFetch::fail(const QString& reason)
{
    Answer answer;
    answer.reason = reason;
    finish(std::move(answer));
}

// The reply is let go before the answer is told, so that nothing of it reaches this object
// again; the answer comes from the event loop, never from inside the caller's own call.
void ListFetch::finish(Answer answer)
{
    if (m_finished)
        return;
    m_finished = true;
    m_whole.stop();
    m_body.clear();
    dropReply();
    QMetaObject::invokeMethod(
        this, [this, answer = std::move(answer)] { emit finished(answer); }, Qt::QueuedConnection);
}

ListFetch::Answer ListFetch::answerFrom(QNetworkReply* reply)
{
    Answer answer;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 304) {
        answer.kind = Answer::Kind::Unchanged;
        return answer;
    }
    if (status >= 300 && status < 400) {
        answer.reason =
            QStringLiteral("the server answered %1 without an address to go on to").arg(status);
        return answer;
    }
    if (status != 200 && status != 0) {
        const QString phrase =
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
        answer.reason = QStringLiteral("the server answered %1").arg(status) +
                        (phrase.isEmpty() ? QString() : QLatin1Char(' ') + phrase);
        return answer;
    }
    if (reply->error() != QNetworkReply::NoError) {
        answer.reason = networkReason(*reply);
        return answer;
    }
    m_body += reply->readAll();
    if (m_body.size() > m_limits.maxBytes) {
        answer.reason = tooLarge(m_limits.maxBytes);
        return answer;
    }
    if (const std::optional<QString> why =
            WebAddress::notAList(m_body, reply->rawHeader("Content-Type"))) {
        answer.reason = *why;
        return answer;
    }
    answer.kind = Answer::Kind::Body;
    answer.body = std::exchange(m_body, {});
    answer.validators = {reply->rawHeader("ETag"), reply->rawHeader("Last-Modified")};
    return answer;
}

void ListFetch::dropReply()
{
    QNetworkReply* reply = m_reply;
    m_reply.clear();
    if (!reply)
        return;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}
