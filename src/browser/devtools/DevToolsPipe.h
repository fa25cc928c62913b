#pragma once

#include "browser/BrowserClock.h"

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
//
// Pages decide the size of many frames (a console message, an exception, a title), and the
// browser ends when its pipe closes: no frame closes it. A frame is judged by its start as it
// streams in: an event that the program does not read, or an answer that nobody waits for, is
// dropped there and then; any frame that outgrows MaxFrameSize is read through to its end without
// being kept, and an answer among them fails its own command alone; of an event among them, the
// program hears its first and last bytes. The pipe knows no method of the protocol.
class DevToolsPipe
{
public:
    using EventHandler = std::function<void(const QJsonObject&)>;
    // Gets the whole answer ({"result": ...} or {"error": ...}).
    using ReplyHandler = std::function<void(const QJsonObject&)>;
    // Whether the program reads events of this method.
    using EventFilter = std::function<bool(QByteArrayView method)>;
    // An event that the program reads, dropped for its size: its first and its last EdgeBytes.
    using DroppedEventHandler = std::function<void(QByteArrayView head, QByteArrayView tail)>;
    static constexpr qsizetype EdgeBytes = 256;

    // Far above any frame that the program reads: its answers are small, and bodies come in
    // pieces (IO.read). A larger frame would cost the program several times its size to parse.
    static constexpr qsizetype MaxFrameSize = qsizetype{16} * 1024 * 1024;

    // Takes ownership of both descriptors. `maxFrameSize` is smaller only where a test needs it;
    // a caller's wait for the browser runs on `clock`.
    DevToolsPipe(int commandFd, int eventFd, qsizetype maxFrameSize = MaxFrameSize,
                 BrowserClock& clock = BrowserClock::qt());
    ~DevToolsPipe();
    DevToolsPipe(const DevToolsPipe&) = delete;
    DevToolsPipe& operator=(const DevToolsPipe&) = delete;

    // Called for every event, also for those that arrive while a caller waits.
    void setEventHandler(EventHandler handler) { m_eventHandler = std::move(handler); }
    // Called once when the browser's end is gone (end of file, broken pipe).
    void setClosedHandler(std::function<void()> handler) { m_closedHandler = std::move(handler); }
    // Events for which `reads` is false never reach the event handler; without a filter, all do.
    void setEventFilter(EventFilter reads) { m_eventFilter = std::move(reads); }
    void setDroppedEventHandler(DroppedEventHandler handler)
    {
        m_droppedEventHandler = std::move(handler);
    }

    bool isOpen() const { return m_commandFd >= 0; }
    // Sends a command without waiting for its answer; returns its id, or 0 when the pipe is gone.
    int send(const QString& method, const QJsonObject& params = {}, const QString& sessionId = {});
    // Sends a command and returns at once; `onReply` runs when its answer is read (never when
    // the pipe closes first). Returns the id, or 0 when the pipe is gone.
    int send(const QString& method, const QJsonObject& params, const QString& sessionId,
             ReplyHandler onReply);
    // As send(), with `bytes` added to the parameters as the base64 field `field`, written
    // straight into the message: a large body costs its base64 once, not a JSON tree of it.
    int sendWithBytes(const QString& method, const QJsonObject& params, const QString& sessionId,
                      QLatin1String field, const QByteArray& bytes);
    // Sends a command and reads the pipe until its answer (with "result" or "error") arrives.
    // Nothing when the pipe is gone or the time runs out.
    std::optional<QJsonObject> call(const QString& method, const QJsonObject& params,
                                    const QString& sessionId, int timeoutMs);
    // Reads the pipe until `done` holds; false when the pipe is gone or the time runs out.
    bool waitUntil(const std::function<bool()>& done, int timeoutMs);
    void close();

private:
    static QByteArray messageText(int id, const QString& method, const QJsonObject& params,
                                  const QString& sessionId);
    bool writeMessage(const QByteArray& message);
    void readAvailable();
    void takeMessages();
    bool skipsOpenFrame();
    void endSkippedFrame();
    bool isAwaited(int id) const;
    bool reads(QByteArrayView frame) const;
    void handleMessage(const QByteArray& text);
    void deliverReply(int id, const QJsonObject& reply);
    void markClosed();

    int m_commandFd;
    int m_eventFd;
    qsizetype m_maxFrameSize;
    BrowserClock& m_clock;
    int m_nextId = 1;
    int m_awaitedId = 0;
    std::optional<QJsonObject> m_awaitedReply;
    QByteArray m_buffer;
    qsizetype m_scanned = 0; // the start of m_buffer that holds no NUL
    // The frame at the start of m_buffer is being dropped as it comes; when it is an answer that
    // someone waits for, m_skippedId names it.
    bool m_skipping = false;
    int m_skippedId = 0;
    // When the dropped frame is an event that the program reads: its first and last bytes, where
    // what it is about and its session are named.
    QByteArray m_skippedHead;
    QByteArray m_skippedTail;
    std::unique_ptr<QSocketNotifier> m_notifier;
    EventHandler m_eventHandler;
    EventFilter m_eventFilter;
    DroppedEventHandler m_droppedEventHandler;
    std::function<void()> m_closedHandler;
    QHash<int, ReplyHandler> m_replyHandlers;
};
