#include "browser/ahead/FetchDocuments.h"

#include "browser/Str.h"
#include "browser/devtools/DevToolsConnection.h"

#include <QJsonObject>

namespace FetchDocuments {

QJsonObject pausingAt(std::initializer_list<Stage> stages)
{
    QJsonArray patterns;
    for (const Stage stage : stages)
        patterns.append(QJsonObject{
            {str("urlPattern"), str("*")},
            {str("resourceType"), str("Document")},
            {str("requestStage"), stage == Stage::Request ? str("Request") : str("Response")}});
    return {{str("patterns"), patterns}};
}

void fulfil(DevToolsConnection& connection, const QString& sessionId, const QJsonValue& requestId,
            const Response& response)
{
    QJsonObject params{{str("requestId"), requestId},
                       {str("responseCode"), response.status},
                       {str("responseHeaders"), response.headers}};
    if (!response.phrase.isEmpty())
        params.insert(str("responsePhrase"), response.phrase);
    connection.sendWithBytes(str("Fetch.fulfillRequest"), params, sessionId, QLatin1String("body"),
                             response.body);
}

void fail(DevToolsConnection& connection, const QString& sessionId, const QJsonValue& requestId,
          const QString& reason)
{
    connection.send(str("Fetch.failRequest"),
                    {{str("requestId"), requestId}, {str("errorReason"), reason}}, sessionId);
}

} // namespace FetchDocuments
