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
} // namespace

bool KeptDocumentServer::install(const QString& targetId, const QString& sessionId, int timeoutMs)
{
    m_targetId = targetId;
    m_sessionId = sessionId;
    return FetchDocuments::pauseAt(m_pipe, sessionId, FetchDocuments::Stage::Request, timeoutMs);
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
    FetchDocuments::fulfil(
        m_pipe, m_sessionId, requestId,
        {document->status, document->statusText, document->headers, document->body});
}
