#pragma once

#include "browser/BrowserClock.h"
#include "browser/devtools/DevToolsPipe.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

// One event of the browser, its method and session read once for every part that hears it.
struct DevToolsEvent
{
    QString method;
    QJsonObject params;
    QString sessionId; // empty for the browser's own events

    QString text(const char* key) const { return params.value(QLatin1String(key)).toString(); }
    // Whether the frame that the event names ("frame", as Page.frameNavigated has it) is a
    // page's main frame: one without a parent.
    bool ofMainFrame() const
    {
        return params.value(QLatin1String("frame"))[QLatin1String("parentId")].toString().isEmpty();
    }
};

// The connection to one running browser: the pipe, its commands and their answers, the settling
// of set-up commands sent ahead, the registry of live targets, and the one stream of
// events, to which the parts of the program subscribe by method. An event that no part
// subscribes to is dropped as it comes, unread. It knows no instance, window or page: those are
// the parts'.
class DevToolsConnection : public QObject
{
public:
    // Time for any answer of the browser.
    static constexpr int ReplyTimeoutMs = 5000;

    // Takes both descriptors. The parts of this browser take their timers from `clock`.
    DevToolsConnection(int commandFd, int eventFd, BrowserClock& clock = BrowserClock::qt());
    ~DevToolsConnection() override;
    DevToolsConnection(const DevToolsConnection&) = delete;
    DevToolsConnection& operator=(const DevToolsConnection&) = delete;

    BrowserClock& clock() { return m_clock; }

    // `handler` gets every event of `method` from now on, until `context` is destroyed. The
    // handlers of one method run in the order in which they subscribed; where a part relies on
    // that order, it says so where it subscribes. The records that parts rely on (the
    // connection's targets, the pages' loads) subscribe first, so every part sees them up to
    // date.
    using Handler = std::function<void(const DevToolsEvent& event)>;
    void subscribe(const char* method, QObject* context, Handler handler);

    bool isAlive() const { return m_pipe->isOpen(); }
    // Called once when the browser's end of the pipe is gone; null for no one.
    void setClosedHandler(std::function<void()> handler)
    {
        m_pipe->setClosedHandler(std::move(handler));
    }
    // Whether an answer carries a result rather than an error.
    static bool succeeded(const QJsonObject& answer)
    {
        return answer.contains(QLatin1String("result"));
    }
    bool hasTarget(const QString& targetId) const;
    // Records a target that the program made, whether or not its creation was reported yet.
    void noteTarget(const QString& targetId, const QString& type);
    // From now on the browser is closed as its last page goes: started without a window, it
    // would outlive its last one (a browser ends when the user closes its last window).
    void closeWithLastPage() { m_closeWithLastPage = true; }
    // Sends a command and waits for its result; throws `failureNumber` (462 unless told) when
    // the browser is gone, refuses or does not answer in time. The set-up commands sent before
    // it are settled first, so that its answer sees what they set up.
    QJsonObject command(const QString& method, const QJsonObject& params = {},
                        const QString& sessionId = {}, int failureNumber = 462);
    // Sends a command without waiting and without failing: the program's answers to the
    // browser's own events, which a browser that is gone needs no more. False when it is gone.
    using ReplyHandler = DevToolsPipe::ReplyHandler;
    bool send(const QString& method, const QJsonObject& params = {}, const QString& sessionId = {},
              ReplyHandler onReply = nullptr);
    // The same, with `bytes` as the base64 field `field` of the parameters, written straight
    // into the message: a large body costs its base64 once.
    bool sendWithBytes(const QString& method, const QJsonObject& params, const QString& sessionId,
                       QLatin1String field, const QByteArray& bytes)
    {
        return m_pipe->sendWithBytes(method, params, sessionId, field, bytes) != 0;
    }
    // Sends a command and waits up to `timeoutMs` for its whole answer ({"result": ...} or
    // {"error": ...}); nothing when the browser is gone or silent. Nothing is settled first.
    std::optional<QJsonObject> ask(const QString& method, const QJsonObject& params,
                                   const QString& sessionId, int timeoutMs)
    {
        return m_pipe->call(method, params, sessionId, timeoutMs);
    }
    // Sends a command without waiting; throws 462 when the browser is gone. `onReply`, when given,
    // gets the whole answer ({"result": ...} or {"error": ...}) when it comes.
    void post(const QString& method, const QJsonObject& params, const QString& sessionId = {},
              ReplyHandler onReply = nullptr);
    // A set-up command that need not hold up its caller: sent at once, its answer checked by
    // settle(). The browser runs the commands of a session in the order sent, but a page that
    // moves to a new renderer before they are answered may come up without what they set up:
    // a navigation that relies on them settles first. Throws
    // `failureNumber` when the browser is gone. `then` gets the result when it comes, and may
    // send further set-up commands, which settle() waits for too.
    void postChecked(const QString& method, const QJsonObject& params, const QString& sessionId,
                     int failureNumber = 462,
                     std::function<void(const QJsonObject& result)> then = nullptr);
    // Waits for the answers to every set-up command sent so far, and throws the failure number of
    // one that the browser refused or did not answer in time. A browser whose set-up failed is
    // not fit for use (a hidden target without its guard would run pages' scripts out of sight),
    // so every later settle() throws it again.
    void settle();
    // Reads the browser's messages until `done` holds or the time runs out.
    bool waitUntil(const std::function<bool()>& done, int timeoutMs)
    {
        return m_pipe->waitUntil(done, timeoutMs);
    }
    // Attaches to a target for page commands; returns the session id.
    QString attach(const QString& targetId, int failureNumber);
    // Asks the browser to close and gives it the time of an answer to do so; then, or at once,
    // lets the pipe go, which ends a browser that did not.
    void closeBrowser();
    // Lets the pipe go: the browser ends without it.
    void close() { m_pipe->close(); }

private:
    struct Subscription
    {
        QPointer<QObject> context;
        Handler handler;
    };
    void dispatch(const QJsonObject& message);
    void letDroppedPauseGo(QByteArrayView head, QByteArrayView tail);
    void trackTarget(const DevToolsEvent& event);

    BrowserClock& m_clock;
    std::unique_ptr<DevToolsPipe> m_pipe;
    QHash<QByteArray, QList<Subscription>> m_subscriptions; // by method
    QHash<QString, QString> m_typeOfTarget;
    QMap<int, int> m_unsettled; // set-up commands not yet answered: id -> failure number
    int m_setUpFailure = 0;
    bool m_closeWithLastPage = false;
};
