#include "web/ListFetch.h"

#include "web/WebAddress.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
QString tooManyRedirects()
{
    return QStringLiteral("it is sent on too many times");
}

QString notWebReason(const QUrl& to)
{
    return QStringLiteral("it is sent on to an address that is not http or https (%1)")
        .arg(to.scheme());
}

bool isWebScheme(const QUrl& url)
{
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

QString networkReason(QNetworkReply::NetworkError error, const QString& text)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return QStringLiteral("the server cannot be reached (%1)").arg(text);
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("its certificate does not verify (%1)").arg(text);
    case QNetworkReply::TooManyRedirectsError:
        return tooManyRedirects();
    // Qt's own check of a compressed body that unpacks to far more than it came as.
    case QNetworkReply::UnknownContentError:
        return QStringLiteral("its compressed body could not be unpacked within bounds (%1)")
            .arg(text);
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        return QStringLiteral("the server stopped sending");
    default:
        return text;
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
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void ListFetch::start(const QString& address, const Validators& since)
{
    QNetworkRequest request{QUrl(address)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(m_limits.maxRedirects);
    request.setTransferTimeout(int(m_limits.idle.count()));
    // The list itself, not a copy that something on the way kept.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    if (!since.etag.isEmpty())
        request.setRawHeader("If-None-Match", since.etag);
    if (!since.lastModified.isEmpty())
        request.setRawHeader("If-Modified-Since", since.lastModified);
    m_visited = {request.url()};
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::redirected, this, &ListFetch::redirected);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        const qint64 declared = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (declared > m_limits.maxBytes)
            fail(QStringLiteral("it is larger than %1 MiB").arg(m_limits.maxBytes >> 20));
    });
    connect(m_reply, &QNetworkReply::readyRead, this, &ListFetch::readBody);
    connect(m_reply, &QNetworkReply::finished, this, &ListFetch::done);
    m_whole.start(m_limits.whole);
}

ListFetch::Answer ListFetch::fetch(QNetworkAccessManager& network, const Limits& limits,
                                   const QString& address, const Validators& since)
{
    ListFetch request(network, limits);
    Answer answer;
    QEventLoop loop;
    connect(&request, &ListFetch::finished, &loop, [&](const Answer& a) {
        answer = a;
        loop.quit();
    });
    request.start(address, since);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return answer;
}

void ListFetch::redirected(const QUrl& to)
{
    if (!isWebScheme(to)) {
        fail(notWebReason(to));
        return;
    }
    // A circle is told at its first turn, not after the most redirects allowed.
    if (m_visited.contains(to)) {
        fail(tooManyRedirects());
        return;
    }
    m_visited.insert(to);
    emit m_reply->redirectAllowed();
}

// The bound holds for the bytes as they come out of any gzip, so a small compressed body
// cannot grow without end.
void ListFetch::readBody()
{
    m_body += m_reply->readAll();
    if (m_body.size() > m_limits.maxBytes)
        fail(QStringLiteral("it is larger than %1 MiB").arg(m_limits.maxBytes >> 20));
}

void ListFetch::fail(const QString& reason)
{
    if (m_finished || !m_failure.isEmpty())
        return;
    m_failure = reason;
    m_body.clear();
    if (m_reply)
        m_reply->abort();
}

void ListFetch::done()
{
    if (m_finished)
        return;
    m_finished = true;
    m_whole.stop();
    const Answer answer = answerFromReply();
    m_reply->deleteLater();
    m_reply.clear();
    // A caller that waits has its loop running by now; one that does not gets it from the loop.
    QMetaObject::invokeMethod(
        this, [this, answer] { emit finished(answer); }, Qt::QueuedConnection);
}

ListFetch::Answer ListFetch::answerFromReply()
{
    Answer answer;
    if (!m_failure.isEmpty()) {
        answer.reason = m_failure;
        return answer;
    }
    if (m_reply->error() == QNetworkReply::TooManyRedirectsError) {
        answer.reason = networkReason(m_reply->error(), {});
        return answer;
    }
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 304) {
        answer.kind = Answer::Kind::Unchanged;
        return answer;
    }
    // A redirect that Qt refused itself ends with the redirect's own status.
    if (status >= 300 && status < 400) {
        const QUrl to = m_reply->url().resolved(QUrl::fromEncoded(m_reply->rawHeader("Location")));
        answer.reason = isWebScheme(to) ? tooManyRedirects() : notWebReason(to);
        return answer;
    }
    if (status != 200 && status != 0) {
        const QString phrase =
            m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        answer.reason = QStringLiteral("the server answered %1 %2").arg(status).arg(phrase);
        return answer;
    }
    if (m_reply->error() != QNetworkReply::NoError) {
        answer.reason = networkReason(m_reply->error(), m_reply->errorString());
        return answer;
    }
    m_body += m_reply->readAll();
    if (m_body.size() > m_limits.maxBytes) {
        answer.reason = QStringLiteral("it is larger than %1 MiB").arg(m_limits.maxBytes >> 20);
        return answer;
    }
    if (const std::optional<QString> why =
            WebAddress::notAList(m_body, m_reply->rawHeader("Content-Type"))) {
        answer.reason = *why;
        return answer;
    }
    answer.kind = Answer::Kind::Body;
    answer.body = std::move(m_body);
    answer.validators = {m_reply->rawHeader("ETag"), m_reply->rawHeader("Last-Modified")};
    return answer;
}
