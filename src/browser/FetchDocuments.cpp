#include "browser/FetchDocuments.h"

#include "browser/DevToolsPipe.h"
#include "browser/Str.h"

#include <QJsonObject>

namespace FetchDocuments {

namespace {
QJsonObject documentsAt(Stage stage)
{
    const QJsonObject pattern{
        {str("urlPattern"), str("*")},
        {str("resourceType"), str("Document")},
        {str("requestStage"), stage == Stage::Request ? str("Request") : str("Response")}};
    return {{str("patterns"), QJsonArray{pattern}}};
}
} // namespace

bool pauseAt(DevToolsPipe& pipe, const QString& sessionId, Stage stage, int timeoutMs)
{
    const auto reply = pipe.call(str("Fetch.enable"), documentsAt(stage), sessionId, timeoutMs);
    return reply && reply->contains(str("result"));
}

void pauseLater(DevToolsPipe& pipe, const QString& sessionId, Stage stage)
{
    pipe.send(str("Fetch.enable"), documentsAt(stage), sessionId);
}

void fulfil(DevToolsPipe& pipe, const QString& sessionId, const QJsonValue& requestId,
            const Response& response)
{
    QJsonObject params{{str("requestId"), requestId},
                       {str("responseCode"), response.status},
                       {str("responseHeaders"), response.headers}};
    if (!response.phrase.isEmpty())
        params.insert(str("responsePhrase"), response.phrase);
    pipe.sendWithBytes(str("Fetch.fulfillRequest"), params, sessionId, QLatin1String("body"),
                       response.body);
}

void fail(DevToolsPipe& pipe, const QString& sessionId, const QJsonValue& requestId,
          const QString& reason)
{
    pipe.send(str("Fetch.failRequest"),
              {{str("requestId"), requestId}, {str("errorReason"), reason}}, sessionId);
}

} // namespace FetchDocuments
