#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>

class DevToolsPipe;

// The Fetch domain as the program uses it on a target: its document requests (main frame and
// frames) paused at one stage, and answered.
namespace FetchDocuments {

enum class Stage { Request, Response };

// Pauses every document request of the session at `stage` from now on; false when the browser
// refused.
bool pauseAt(DevToolsPipe& pipe, const QString& sessionId, Stage stage, int timeoutMs);
// The same, sent without waiting for the answer.
void pauseLater(DevToolsPipe& pipe, const QString& sessionId, Stage stage);

struct Response
{
    int status = 200;
    QString phrase;
    QJsonArray headers;
    QByteArray body;
};

// Answers a paused request with a whole response.
void fulfil(DevToolsPipe& pipe, const QString& sessionId, const QJsonValue& requestId,
            const Response& response);

// Ends a paused request with a network error of that reason ("BlockedByClient", "Failed"...).
void fail(DevToolsPipe& pipe, const QString& sessionId, const QJsonValue& requestId,
          const QString& reason);

} // namespace FetchDocuments
