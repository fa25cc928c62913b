#include "browser/devtools/DevToolsConnection.h"

#include "browser/Str.h"
#include "browser/devtools/PipeFrames.h"
#include "platform/Failure.h"

#include <algorithm>

namespace {
// The id of the request that a Fetch.requestPaused frame pauses, from the frame's start as the
// browser writes it; empty for any other frame.
QByteArray pausedRequestId(QByteArrayView head)
{
    constexpr QByteArrayView pauseStart(
        R"({"method":"Fetch.requestPaused","params":{"requestId":")");
    if (!head.startsWith(pauseStart))
        return {};
    const qsizetype end = head.indexOf('"', pauseStart.size());
    if (end < 0)
        return {};
    const QByteArrayView id = head.sliced(pauseStart.size(), end - pauseStart.size());
    return id.contains('\\') ? QByteArray() : id.toByteArray();
}
} // namespace

DevToolsConnection::DevToolsConnection(int commandFd, int eventFd, BrowserClock& clock)
    : m_clock(clock),
      m_pipe(std::make_unique<DevToolsPipe>(commandFd, eventFd, DevToolsPipe::MaxFrameSize, clock))
{
    m_pipe->setEventHandler([this](const QJsonObject& message) { dispatch(message); });
    // Everything else that the browser reports (console output, exceptions, requests, titles:
    // pages decide their size) is dropped as it comes.
    m_pipe->setEventFilter([this](QByteArrayView method) {
        return m_subscriptions.contains(QByteArray::fromRawData(method.data(), method.size()));
    });
    m_pipe->setDroppedEventHandler(
        [this](QByteArrayView head, QByteArrayView tail) { letDroppedPauseGo(head, tail); });
    for (const char* method :
         {"Target.targetCreated", "Target.targetDestroyed", "Target.detachedFromTarget"})
        subscribe(method, this, [this](const DevToolsEvent& event) { trackTarget(event); });
}

DevToolsConnection::~DevToolsConnection() = default;

void DevToolsConnection::subscribe(const char* method, QObject* context, Handler handler)
{
    m_subscriptions[QByteArray(method)].append({context, std::move(handler)});
}

// A paused request whose event was too large to read (a form that posts a huge body carries the
// body in the event) goes to the network untouched, or its page would wait on it for ever.
void DevToolsConnection::letDroppedPauseGo(QByteArrayView head, QByteArrayView tail)
{
    if (const QByteArray request = pausedRequestId(head); !request.isEmpty())
        send(str("Fetch.continueRequest"), {{str("requestId"), QString::fromLatin1(request)}},
             PipeFrames::sessionAtEnd(tail));
}

void DevToolsConnection::dispatch(const QJsonObject& message)
{
    const DevToolsEvent event{message.value(str("method")).toString(),
                              message.value(str("params")).toObject(),
                              message.value(str("sessionId")).toString()};
    const QByteArray method = event.method.toLatin1();
    // A copy: a handler may subscribe, or end a part that subscribed.
    const QList<Subscription> subscriptions = m_subscriptions.value(method);
    for (const Subscription& subscription : subscriptions) {
        if (subscription.context)
            subscription.handler(event);
    }
    auto& kept = m_subscriptions[method];
    kept.removeIf([](const Subscription& subscription) { return !subscription.context; });
    if (kept.isEmpty())
        m_subscriptions.remove(method);
}

void DevToolsConnection::trackTarget(const DevToolsEvent& event)
{
    if (event.method == QLatin1String("Target.targetCreated")) {
        const QJsonObject info = event.params.value(str("targetInfo")).toObject();
        m_typeOfTarget.insert(info.value(str("targetId")).toString(),
                              info.value(str("type")).toString());
        return;
    }
    // A session of ours that ends leaves its instance without a way to drive the target.
    m_typeOfTarget.remove(event.text("targetId"));
    if (event.method == QLatin1String("Target.targetDestroyed") && m_closeWithLastPage &&
        std::ranges::none_of(m_typeOfTarget,
                             [](const QString& type) { return type == QLatin1String("page"); }))
        m_pipe->send(str("Browser.close"));
}

bool DevToolsConnection::hasTarget(const QString& targetId) const
{
    return isAlive() && m_typeOfTarget.contains(targetId);
}

void DevToolsConnection::noteTarget(const QString& targetId, const QString& type)
{
    m_typeOfTarget.insert(targetId, type);
}

QString DevToolsConnection::attach(const QString& targetId, int failureNumber)
{
    const QJsonObject attached =
        command(str("Target.attachToTarget"), {{str("targetId"), targetId}, {str("flatten"), true}},
                {}, failureNumber);
    QString sessionId = attached.value(str("sessionId")).toString();
    if (sessionId.isEmpty())
        throw Failure(failureNumber);
    return sessionId;
}

QJsonObject DevToolsConnection::command(const QString& method, const QJsonObject& params,
                                        const QString& sessionId, int failureNumber)
{
    settle();
    const auto reply = m_pipe->call(method, params, sessionId, ReplyTimeoutMs);
    if (!reply || !succeeded(*reply))
        throw Failure(failureNumber);
    return reply->value(str("result")).toObject();
}

bool DevToolsConnection::send(const QString& method, const QJsonObject& params,
                              const QString& sessionId, ReplyHandler onReply)
{
    return (onReply ? m_pipe->send(method, params, sessionId, std::move(onReply))
                    : m_pipe->send(method, params, sessionId)) != 0;
}

void DevToolsConnection::post(const QString& method, const QJsonObject& params,
                              const QString& sessionId, ReplyHandler onReply)
{
    if (!send(method, params, sessionId, std::move(onReply)))
        throw Failure(FailureNumber::ObjectDisconnected);
}

void DevToolsConnection::closeBrowser()
{
    if (m_pipe->isOpen()) {
        m_pipe->send(str("Browser.close"));
        // The browser answers nothing: it ends, and its end closes the pipe.
        m_pipe->waitUntil([] { return false; }, ReplyTimeoutMs);
    }
    m_pipe->close();
}

void DevToolsConnection::postChecked(const QString& method, const QJsonObject& params,
                                     const QString& sessionId, int failureNumber,
                                     std::function<void(const QJsonObject& result)> then)
{
    const auto onReply = [this, then = std::move(then)](const QJsonObject& reply) {
        const int number = m_unsettled.take(reply.value(str("id")).toInt());
        int failed = succeeded(reply) ? 0 : number;
        if (failed == 0 && then) {
            // Answers are read wherever the pipe is: nothing may leave this handler.
            try {
                then(reply.value(str("result")).toObject());
            } catch (const Failure& failure) {
                failed = failure.number();
            }
        }
        if (failed != 0 && m_setUpFailure == 0)
            m_setUpFailure = failed;
    };
    const int id = m_pipe->send(method, params, sessionId, onReply);
    if (id == 0)
        throw Failure(failureNumber);
    m_unsettled.insert(id, failureNumber);
}

void DevToolsConnection::settle()
{
    if (!m_unsettled.isEmpty() &&
        !m_pipe->waitUntil([this] { return m_unsettled.isEmpty(); }, ReplyTimeoutMs) &&
        m_setUpFailure == 0)
        m_setUpFailure = m_unsettled.first();
    if (m_setUpFailure != 0)
        throw Failure(m_setUpFailure);
}
