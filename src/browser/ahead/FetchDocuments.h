#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <initializer_list>
#include <utility>

class DevToolsConnection;

// The Fetch domain as the program uses it on a target: its document requests (main frame and
// frames) paused at one stage, and answered.
namespace FetchDocuments {

enum class Stage { Request, Response };

// The parameters of Fetch.enable that pause every document request of a session at each of
// `stages`.
QJsonObject pausingAt(std::initializer_list<Stage> stages);

struct Response
{
    int status = 200;
    QString phrase;
    QJsonArray headers;
    QByteArray body;
};

// Answers a paused request with a whole response.
void fulfil(DevToolsConnection& connection, const QString& sessionId, const QJsonValue& requestId,
            const Response& response);

// Lets a paused request go on; with `headers` (headersReplacing()), sent with those instead of
// its own.
void goOn(DevToolsConnection& connection, const QString& sessionId, const QJsonValue& requestId,
          const QJsonArray& headers = {});

// The headers of a paused request, `sent` by name, in the form that goOn() takes: those named in
// `replaced` (in any case) take the values given there instead.
QJsonArray headersReplacing(const QJsonObject& sent,
                            std::initializer_list<std::pair<const char*, QString>> replaced);

// Ends a paused request with a network error of that reason ("BlockedByClient", "Failed"...).
void fail(DevToolsConnection& connection, const QString& sessionId, const QJsonValue& requestId,
          const QString& reason);

} // namespace FetchDocuments
