#include "browser/KeptDocumentServer.h"

#include "browser/DevToolsPipe.h"
#include "browser/KeptDocuments.h"

#include <QJsonArray>

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
} // namespace

bool KeptDocumentServer::install(const QString& targetId, const QString& sessionId, int timeoutMs)
{
    m_targetId = targetId;
    m_sessionId = sessionId;
    const QJsonObject patterns{
        {QStringLiteral("patterns"),
         QJsonArray{QJsonObject{{QStringLiteral("urlPattern"), QStringLiteral("*")},
                                {QStringLiteral("resourceType"), QStringLiteral("Document")},
                                {QStringLiteral("requestStage"), QStringLiteral("Request")}}}}};
    const auto reply = m_pipe.call(QStringLiteral("Fetch.enable"), patterns, sessionId, timeoutMs);
    return reply && reply->contains(QStringLiteral("result"));
}

void KeptDocumentServer::handleEvent(const QJsonObject& event)
{
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
    const bool mainFrame = params.value(QStringLiteral("frameId")).toString() == m_targetId;
    const QString method = request.value(QStringLiteral("method")).toString();
    std::optional<KeptDocuments::Document> document;
    if (mainFrame && !request.value(QStringLiteral("hasPostData")).toBool() &&
        !isReload(request.value(QStringLiteral("headers")).toObject()))
        document = m_documents.take(request.value(QStringLiteral("url")).toString(), method);
    if (!document) {
        m_pipe.send(QStringLiteral("Fetch.continueRequest"),
                    {{QStringLiteral("requestId"), requestId}}, m_sessionId);
        return;
    }
    ++m_served;
    QJsonObject fulfil{{QStringLiteral("requestId"), requestId},
                       {QStringLiteral("responseCode"), document->status},
                       {QStringLiteral("responseHeaders"), document->headers},
                       {QStringLiteral("body"), QString::fromLatin1(document->body.toBase64())}};
    if (!document->statusText.isEmpty())
        fulfil.insert(QStringLiteral("responsePhrase"), document->statusText);
    m_pipe.send(QStringLiteral("Fetch.fulfillRequest"), fulfil, m_sessionId);
}
