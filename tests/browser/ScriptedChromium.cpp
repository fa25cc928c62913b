#include "ScriptedChromium.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Long enough for any loaded machine; only a failing test waits it out.
constexpr int GiveUpMs = 20000;

QString str(const char* text)
{
    return QString::fromLatin1(text);
}
} // namespace

ScriptedChromium::ScriptedChromium(QObject* parent) : QObject(parent)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0 ||
        ::pipe2(m_wake, O_CLOEXEC) != 0)
        qFatal("ScriptedChromium: no socket pair");
    m_program = ends[0];
    m_end = ends[1];
    m_thread = std::thread([this] { run(); });
}

ScriptedChromium::~ScriptedChromium()
{
    close();
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    ::close(m_end);
    if (m_program >= 0)
        ::close(m_program);
}

ScriptedChromium::ProgramEnds ScriptedChromium::takeProgramEnds()
{
    const int end = std::exchange(m_program, -1);
    return {end < 0 ? -1 : ::dup(end), end};
}

void ScriptedChromium::script(const QString& method, Reply reply)
{
    const QMutexLocker lock(&m_mutex);
    m_script.insert(method, std::move(reply));
}

void ScriptedChromium::reply(const QJsonObject& command, const QJsonObject& result)
{
    answer(command.value(str("id")).toInt(), command.value(str("sessionId")).toString(),
           Reply::withResult(result));
}

void ScriptedChromium::refuse(const QJsonObject& command, const QString& message)
{
    answer(command.value(str("id")).toInt(), command.value(str("sessionId")).toString(),
           Reply::withError(message));
}

void ScriptedChromium::emitEvent(const QString& method, const QJsonObject& params,
                                 const QString& sessionId)
{
    QJsonObject event{{str("method"), method}, {str("params"), params}};
    if (!sessionId.isEmpty())
        event.insert(str("sessionId"), sessionId);
    write(event);
}

void ScriptedChromium::close()
{
    if (!m_thread.joinable())
        return;
    m_stop = true;
    const char wake = 0;
    (void)!::write(m_wake[1], &wake, 1);
    m_thread.join();
    ::shutdown(m_end, SHUT_RDWR);
}

QJsonObject ScriptedChromium::waitForCommand(const QString& method)
{
    QJsonObject found;
    const auto arrived = [&] {
        const QMutexLocker lock(&m_mutex);
        for (int i = 0; i < m_received.size(); ++i) {
            if (!m_taken.contains(i) && m_received[i].value(str("method")).toString() == method) {
                m_taken.insert(i);
                found = m_received[i];
                return true;
            }
        }
        return false;
    };
    if (!QTest::qWaitFor(arrived, GiveUpMs))
        qWarning("ScriptedChromium: no %s came", qPrintable(method));
    return found;
}

QList<QJsonObject> ScriptedChromium::heard()
{
    if (!QTest::qWaitFor([this] { return isQuiet(); }, GiveUpMs))
        qWarning("ScriptedChromium: still reading");
    const QMutexLocker lock(&m_mutex);
    return m_received;
}

QList<QJsonObject> ScriptedChromium::heard(const QString& method)
{
    QList<QJsonObject> commands = heard();
    commands.removeIf([&](const QJsonObject& command) {
        return command.value(str("method")).toString() != method;
    });
    return commands;
}

// What the program wrote is either still in the socket or being handled: it is read only once
// m_busy is set.
bool ScriptedChromium::isQuiet() const
{
    int waiting = 0;
    if (::ioctl(m_end, FIONREAD, &waiting) != 0)
        return true;
    return waiting == 0 && !m_busy;
}

void ScriptedChromium::run()
{
    QByteArray buffer;
    pollfd watched[2] = {{m_end, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    while (!m_stop) {
        if (::poll(watched, 2, -1) < 0 || m_stop)
            continue;
        m_busy = true;
        char chunk[65536];
        ssize_t got;
        bool ended = false;
        while ((got = ::recv(m_end, chunk, sizeof chunk, MSG_DONTWAIT)) > 0)
            buffer.append(chunk, got);
        ended = got == 0;
        qsizetype end;
        while ((end = buffer.indexOf('\0')) >= 0) {
            handle(QJsonDocument::fromJson(buffer.left(end)).object());
            buffer.remove(0, end + 1);
        }
        m_busy = false;
        if (ended || m_stop)
            return;
    }
}

void ScriptedChromium::handle(const QJsonObject& command)
{
    const QString method = command.value(str("method")).toString();
    Reply reply;
    {
        const QMutexLocker lock(&m_mutex);
        m_received.append(command);
        const auto scripted = m_script.constFind(method);
        reply = scripted != m_script.cend() ? *scripted : defaultReply(command);
    }
    const int id = command.value(str("id")).toInt();
    const QString sessionId = command.value(str("sessionId")).toString();
    if (reply.kind == Reply::Kind::Result || reply.kind == Reply::Kind::Error)
        answer(id, sessionId, reply);
    // As a browser does: the tab's page comes as an event once it is asked for.
    if (method == QLatin1String("Target.setAutoAttach") && !sessionId.isEmpty() &&
        reply.kind == Reply::Kind::Result) {
        emitEvent(str("Target.attachedToTarget"),
                  {{str("sessionId"), str(WindowPageSession)},
                   {str("waitingForDebugger"), false},
                   {str("targetInfo"), QJsonObject{{str("targetId"), str(WindowPageTarget)},
                                                   {str("type"), str("page")},
                                                   {str("url"), str("about:blank")}}}},
                  sessionId);
    } else if (method == QLatin1String("Browser.close")) {
        m_stop = true;
        ::shutdown(m_end, SHUT_RDWR);
    }
    emit commandReceived(command);
}

// Called with m_mutex held.
ScriptedChromium::Reply ScriptedChromium::defaultReply(const QJsonObject& command)
{
    const QString method = command.value(str("method")).toString();
    const QJsonObject params = command.value(str("params")).toObject();
    const QString targetId = params.value(str("targetId")).toString();
    if (method == QLatin1String("Page.crash"))
        return Reply::never();
    if (method == QLatin1String("Target.createTarget")) {
        const bool tab = params.value(str("forTab")).toBool();
        return Reply::withResult({{str("targetId"), (tab ? str("tab-") : str("target-")) +
                                                        QString::number(m_nextTarget++)}});
    }
    if (method == QLatin1String("Target.attachToTarget"))
        return Reply::withResult({{str("sessionId"), str("session-") + targetId}});
    if (method == QLatin1String("Target.getTargetInfo"))
        return Reply::withResult(
            {{str("targetInfo"), QJsonObject{{str("targetId"), targetId},
                                             {str("type"), str("page")},
                                             {str("url"), str("about:blank")}}}});
    if (method == QLatin1String("Browser.getWindowForTarget"))
        return Reply::withResult(
            {{str("windowId"), 1},
             {str("bounds"), QJsonObject{{str("left"), 0},
                                         {str("top"), 0},
                                         {str("width"), 800},
                                         {str("height"), 600},
                                         {str("windowState"), str("normal")}}}});
    if (method == QLatin1String("Page.navigate"))
        return Reply::withResult(
            {{str("frameId"), str(WindowPageTarget)}, {str("loaderId"), str("loader")}});
    if (method == QLatin1String("Page.getNavigationHistory"))
        return Reply::withResult(
            {{str("currentIndex"), 0},
             {str("entries"),
              QJsonArray{QJsonObject{
                  {str("id"), 1}, {str("url"), str("about:blank")}, {str("title"), QString()}}}}});
    if (method == QLatin1String("Runtime.evaluate"))
        return Reply::withResult({{str("result"), QJsonObject{{str("type"), str("undefined")}}}});
    if (method == QLatin1String("Page.createIsolatedWorld"))
        return Reply::withResult({{str("executionContextId"), 1}});
    if (method == QLatin1String("Page.addScriptToEvaluateOnNewDocument"))
        return Reply::withResult({{str("identifier"), str("1")}});
    return Reply::withResult({});
}

void ScriptedChromium::answer(int id, const QString& sessionId, const Reply& reply)
{
    QJsonObject message{{str("id"), id}};
    if (reply.kind == Reply::Kind::Error)
        message.insert(str("error"),
                       QJsonObject{{str("code"), -32000}, {str("message"), reply.error}});
    else
        message.insert(str("result"), reply.result);
    if (!sessionId.isEmpty())
        message.insert(str("sessionId"), sessionId);
    write(message);
}

void ScriptedChromium::write(const QJsonObject& message)
{
    const QByteArray frame = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\0';
    const QMutexLocker lock(&m_mutex);
    for (qsizetype sent = 0; sent < frame.size();) {
        const ssize_t wrote =
            ::send(m_end, frame.constData() + sent, size_t(frame.size() - sent), MSG_NOSIGNAL);
        if (wrote <= 0)
            return;
        sent += wrote;
    }
}
