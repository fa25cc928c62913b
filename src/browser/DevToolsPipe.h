#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QSocketNotifier;

// The browser's end of the remote debugging pipe: NUL-framed JSON both ways. Events are read in
// the Qt event loop; a caller that needs an answer reads the pipe itself with poll() until the
// answer comes, so no other handler of the program runs in the middle of its own.
class DevToolsPipe
{
public:
    using EventHandler = std::function<void(const QJsonObject&)>;
    // Gets the whole answer ({"result": ...} or {"error": ...}).
    using ReplyHandler = std::function<void(const QJsonObject&)>;

    // Takes ownership of both descriptors.
    DevToolsPipe(int commandFd, int eventFd);
    ~DevToolsPipe();
    DevToolsPipe(const DevToolsPipe&) = delete;
    DevToolsPipe& operator=(const DevToolsPipe&) = delete;

    // Called for every event, also for those that arrive while a caller waits.
    void setEventHandler(EventHandler handler) { m_eventHandler = std::move(handler); }
    // Called once when the browser's end is gone (end of file, broken pipe).
    void setClosedHandler(std::function<void()> handler) { m_closedHandler = std::move(handler); }

    bool isOpen() const { return m_commandFd >= 0; }
    // Sends a command without waiting for its answer; returns its id, or 0 when the pipe is gone.
    int send(const QString& method, const QJsonObject& params = {}, const QString& sessionId = {});
    // Sends a command and returns at once; `onReply` runs when its answer is read (never when
    // the pipe closes first). Returns the id, or 0 when the pipe is gone.
    int send(const QString& method, const QJsonObject& params, const QString& sessionId,
             ReplyHandler onReply);
    // Sends a command and reads the pipe until its answer (with "result" or "error") arrives.
    // Nothing when the pipe is gone or the time runs out.
    std::optional<QJsonObject> call(const QString& method, const QJsonObject& params,
                                    const QString& sessionId, int timeoutMs);
    // Reads the pipe until `done` holds; false when the pipe is gone or the time runs out.
    bool waitUntil(const std::function<bool()>& done, int timeoutMs);
    void close();

private:
    bool writeMessage(const QByteArray& message);
    void readAvailable();
    void takeMessages();
    void handleMessage(const QByteArray& text);
    void markClosed();

    int m_commandFd;
    int m_eventFd;
    int m_nextId = 1;
    int m_awaitedId = 0;
    std::optional<QJsonObject> m_awaitedReply;
    QByteArray m_buffer;
    qsizetype m_scanned = 0; // the start of m_buffer that holds no NUL
    std::unique_ptr<QSocketNotifier> m_notifier;
    EventHandler m_eventHandler;
    std::function<void()> m_closedHandler;
    QHash<int, ReplyHandler> m_replyHandlers;
};
