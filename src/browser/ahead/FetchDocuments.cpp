#include "browser/ahead/FetchDocuments.h"

#include "browser/Str.h"
#include "browser/devtools/DevToolsConnection.h"

#include <algorithm>

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

void goOn(DevToolsConnection& connection, const QString& sessionId, const QJsonValue& requestId,
          const QJsonArray& headers)
{
    QJsonObject params{{str("requestId"), requestId}};
    if (!headers.isEmpty())
        params.insert(str("headers"), headers);
    connection.send(str("Fetch.continueRequest"), params, sessionId);
}

QJsonArray headersReplacing(const QJsonObject& sent,
                            std::initializer_list<std::pair<const char*, QString>> replaced)
{
    const auto header = [](const QString& name, const QJsonValue& value) {
        return QJsonObject{{str("name"), name}, {str("value"), value}};
    };
    QJsonArray headers;
    for (auto it = sent.begin(); it != sent.end(); ++it) {
        if (std::none_of(replaced.begin(), replaced.end(), [&it](const auto& replacing) {
                return it.key().compare(QLatin1String(replacing.first), Qt::CaseInsensitive) == 0;
            }))
            headers.append(header(it.key(), it.value()));
    }
    for (const auto& [name, value] : replaced)
        headers.append(header(str(name), value));
    return headers;
}

void fail(DevToolsConnection& connection, const QString& sessionId, const QJsonValue& requestId,
          const QString& reason)
{
    connection.send(str("Fetch.failRequest"),
                    {{str("requestId"), requestId}, {str("errorReason"), reason}}, sessionId);
}

} // namespace FetchDocuments
