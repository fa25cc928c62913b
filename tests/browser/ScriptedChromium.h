#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

// The browser's end of the DevTools pipe, played by a test: it reads the program's commands and
// answers them as the test scripts it, without any Chromium. Reading and answering run on a
// thread of their own, as a browser does: the program blocks on the pipe while it waits for an
// answer that it needs.
//
// Unscripted commands get what a browser with one blank window would answer (a tab that gets a
// page when it is auto-attached, sessions for targets, an empty result for the rest), except
// Page.crash, whose renderer dies without answering. A test scripts only the commands it is
// about.
class ScriptedChromium : public QObject
{
    Q_OBJECT

public:
    // What the browser does with a command of a method.
    struct Reply
    {
        enum class Kind { Result, Error, Never, Held } kind = Kind::Result;
        QJsonObject result;
        QString error;

        static Reply withResult(QJsonObject result)
        {
            return {Kind::Result, std::move(result), {}};
        }
        static Reply withError(QString message) { return {Kind::Error, {}, std::move(message)}; }
        // No answer ever.
        static Reply never() { return {Kind::Never, {}, {}}; }
        // No answer until the test gives one with reply().
        static Reply held() { return {Kind::Held, {}, {}}; }
    };
    // The ends that the program reads and writes.
    struct ProgramEnds
    {
        int commandFd = -1;
        int eventFd = -1;
    };
    // The page that the window's tab gets when it is auto-attached.
    static constexpr const char* WindowPageTarget = "window-page";
    static constexpr const char* WindowPageSession = "window-page-session";

    explicit ScriptedChromium(QObject* parent = nullptr);
    ~ScriptedChromium() override;

    // Once; the caller owns them from now on.
    ProgramEnds takeProgramEnds();

    // How commands of `method` are answered from now on.
    void script(const QString& method, Reply reply);
    // Answers a command that was held (or never answered), with a result or an error.
    void reply(const QJsonObject& command, const QJsonObject& result = {});
    void refuse(const QJsonObject& command, const QString& message = QStringLiteral("refused"));
    void emitEvent(const QString& method, const QJsonObject& params = {},
                   const QString& sessionId = {});
    // Closes the browser's end, as a browser that ends.
    void close();

    // The next command of `method` that the program sent and that no earlier call returned;
    // pumps the event loop until it comes. Empty when it does not come.
    QJsonObject waitForCommand(const QString& method);
    // Every command that the program has sent so far, in order, once the thread has read all
    // that was written: after the program's own writes return, it holds them.
    QList<QJsonObject> heard();
    QList<QJsonObject> heard(const QString& method);

signals:
    // From the browser's thread; queued to the receiver's.
    void commandReceived(const QJsonObject& command);

private:
    void run();
    void handle(const QJsonObject& command);
    Reply defaultReply(const QJsonObject& command);
    void answer(int id, const QString& sessionId, const Reply& reply);
    void write(const QJsonObject& message);
    bool isQuiet() const;

    int m_end = -1;     // the browser's end of the socket pair
    int m_program = -1; // the program's end, until taken
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_stop{false};
    mutable QMutex m_mutex; // guards what follows, and writes to m_end
    QHash<QString, Reply> m_script;
    QList<QJsonObject> m_received;
    QSet<int> m_taken; // indexes into m_received returned by waitForCommand()
    int m_nextTarget = 1;
};
