#include "browser/KeptDocumentServer.h"

#include "browser/DevToolsPipe.h"
#include "browser/FetchDocuments.h"
#include "browser/KeptDocuments.h"

namespace {
// A reload (and a hard reload) asks the server again: the browser sends Cache-Control (max-age=0
// or no-cache) or Pragma with it, a plain navigation does not.
bool isReload(const QJsonObject& requestHeaders)
{
    for (auto it = requestHeaders.begin(); it != requestHeaders.end(); ++it) {
        if (it.key().compare(QLatin1String("cache-control"), Qt::CaseInsensitive) == 0 ||
            it.key().compare(QLatin1String("pragma"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The cookies of an answer to Network.getCookies; nothing when the browser refused.
std::optional<QByteArray> cookieStateOf(const QJsonObject& reply)
{
    if (!reply.contains(QStringLiteral("result")))
        return std::nullopt;
    return KeptDocuments::cookieState(reply.value(QStringLiteral("result"))
                                          .toObject()
                                          .value(QStringLiteral("cookies"))
                                          .toArray());
}
} // namespace

void KeptDocumentServer::install(const QString& targetId, const QString& sessionId)
{
    m_targetId = targetId;
    m_sessionId = sessionId;
    m_documents.setKeptHandler([this](const QString& url) { noteCookies(url); });
    m_pipe.send(QStringLiteral("Fetch.enable"),
                FetchDocuments::pausingAt(FetchDocuments::Stage::Request), sessionId);
}

void KeptDocumentServer::handleEvent(const QJsonObject& event)
{
    const QString method = event.value(QStringLiteral("method")).toString();
    if (method == QLatin1String("Target.targetInfoChanged")) {
        // Reported as each page of the window comes, after its request.
        const QJsonObject info = event.value(QStringLiteral("params"))
                                     .toObject()
                                     .value(QStringLiteral("targetInfo"))
                                     .toObject();
        if (!m_targetId.isEmpty() &&
            info.value(QStringLiteral("targetId")).toString() == m_targetId)
            m_shownUrl =
                KeptDocuments::withoutFragment(info.value(QStringLiteral("url")).toString());
        return;
    }
    if (m_sessionId.isEmpty() ||
        event.value(QStringLiteral("sessionId")).toString() != m_sessionId ||
        event.value(QStringLiteral("method")).toString() != QLatin1String("Fetch.requestPaused"))
        return;
    answer(event.value(QStringLiteral("params")).toObject());
}

void KeptDocumentServer::answer(const QJsonObject& params)
{
    const QJsonValue requestId = params.value(QStringLiteral("requestId"));
    const QJsonObject request = params.value(QStringLiteral("request")).toObject();
    const QString url = request.value(QStringLiteral("url")).toString();
    const bool mainFrame = params.value(QStringLiteral("frameId")).toString() == m_targetId;
    std::optional<KeptDocuments::Document> document;
    if (mainFrame && !request.value(QStringLiteral("hasPostData")).toBool() &&
        !isReload(request.value(QStringLiteral("headers")).toObject()))
        document = m_documents.take(url, request.value(QStringLiteral("method")).toString());
    // The address on show, asked for again, is a refresh: the copy loaded ahead of it is
    // older than the page on show.
    if (!document || !document->cookies || KeptDocuments::withoutFragment(url) == m_shownUrl) {
        goToNetwork(requestId);
        return;
    }
    const KeptDocuments::Document kept = *document;
    const int sent = m_pipe.send(QStringLiteral("Network.getCookies"),
                                 {{QStringLiteral("urls"), QJsonArray{url}}}, m_sessionId,
                                 [this, requestId, kept](const QJsonObject& reply) {
                                     serveIfCookiesHold(requestId, kept, reply);
                                 });
    if (sent == 0)
        goToNetwork(requestId);
}

void KeptDocumentServer::serveIfCookiesHold(const QJsonValue& requestId,
                                            const KeptDocuments::Document& document,
                                            const QJsonObject& cookiesReply)
{
    const std::optional<QByteArray> cookies = cookieStateOf(cookiesReply);
    if (!cookies || cookies != document.cookies) {
        goToNetwork(requestId);
        return;
    }
    ++m_served;
    FetchDocuments::fulfil(
        m_pipe, m_sessionId, requestId,
        {document.status, document.statusText, document.headers, document.body});
}

void KeptDocumentServer::goToNetwork(const QJsonValue& requestId)
{
    m_pipe.send(QStringLiteral("Fetch.continueRequest"), {{QStringLiteral("requestId"), requestId}},
                m_sessionId);
}

// Asked at once: the cookies as the document's own response left them, before the user can
// change them.
void KeptDocumentServer::noteCookies(const QString& url)
{
    m_pipe.send(QStringLiteral("Network.getCookies"), {{QStringLiteral("urls"), QJsonArray{url}}},
                m_sessionId, [this, url](const QJsonObject& reply) {
                    if (const std::optional<QByteArray> cookies = cookieStateOf(reply))
                        m_documents.noteCookies(url, *cookies);
                });
}
