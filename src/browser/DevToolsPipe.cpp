#include "browser/DevToolsPipe.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
// Far above any message that the program asks for. A frame that runs on past it is a browser
// that misbehaves: the pipe fails instead of taking all memory.
constexpr qsizetype maxFrameSize = qsizetype{64} * 1024 * 1024;

void makeNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// Waits for `events` on `fd`; false when the deadline passed first.
bool pollFor(int fd, short events, const QDeadlineTimer& deadline)
{
    pollfd entry{fd, events, 0};
    for (;;) {
        const qint64 left = deadline.remainingTime();
        const int result = poll(&entry, 1, left < 0 ? -1 : int(qMin<qint64>(left, 1 << 30)));
        if (result > 0)
            return true;
        if (result == 0)
            return false;
        if (errno != EINTR)
            return true; // let the read or write meet the error itself
    }
}
} // namespace

// The two ends come named from ChromiumProcess::Pipe or from a test's socket pair; a type of
// their own here would only repeat that one.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
DevToolsPipe::DevToolsPipe(int commandFd, int eventFd) : m_commandFd(commandFd), m_eventFd(eventFd)
{
    makeNonBlocking(m_commandFd);
    makeNonBlocking(m_eventFd);
    m_notifier = std::make_unique<QSocketNotifier>(m_eventFd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { readAvailable(); });
}

DevToolsPipe::~DevToolsPipe()
{
    m_closedHandler = nullptr;
    m_eventHandler = nullptr;
    close();
}

void DevToolsPipe::close()
{
    m_notifier.reset();
    m_replyHandlers.clear();
    if (m_commandFd >= 0)
        ::close(m_commandFd);
    if (m_eventFd >= 0)
        ::close(m_eventFd);
    m_commandFd = -1;
    m_eventFd = -1;
}

int DevToolsPipe::send(const QString& method, const QJsonObject& params, const QString& sessionId)
{
    if (!isOpen())
        return 0;
    const int id = m_nextId++;
    QJsonObject message{{QStringLiteral("id"), id},
                        {QStringLiteral("method"), method},
                        {QStringLiteral("params"), params}};
    if (!sessionId.isEmpty())
        message.insert(QStringLiteral("sessionId"), sessionId);
    QByteArray text = QJsonDocument(message).toJson(QJsonDocument::Compact);
    text.append('\0');
    return writeMessage(text) ? id : 0;
}

int DevToolsPipe::send(const QString& method, const QJsonObject& params, const QString& sessionId,
                       ReplyHandler onReply)
{
    const int id = send(method, params, sessionId);
    if (id != 0)
        m_replyHandlers.emplace(id, std::move(onReply));
    return id;
}

bool DevToolsPipe::writeMessage(const QByteArray& message)
{
    // A browser that stopped reading must not freeze the toolbar: the write gets a few seconds.
    const QDeadlineTimer deadline(5000);
    qsizetype written = 0;
    while (written < message.size() && isOpen()) {
        const ssize_t n =
            ::write(m_commandFd, message.constData() + written, size_t(message.size() - written));
        if (n > 0) {
            written += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            if (!pollFor(m_commandFd, POLLOUT, deadline))
                return false;
        } else {
            markClosed(); // EPIPE: the browser is gone
            return false;
        }
    }
    return written == message.size();
}

std::optional<QJsonObject> DevToolsPipe::call(const QString& method, const QJsonObject& params,
                                              const QString& sessionId, int timeoutMs)
{
    const int id = send(method, params, sessionId);
    if (id == 0)
        return std::nullopt;
    const int outerId = m_awaitedId;
    auto outerReply = std::move(m_awaitedReply);
    m_awaitedId = id;
    m_awaitedReply.reset();
    waitUntil([this] { return m_awaitedReply.has_value(); }, timeoutMs);
    auto reply = std::move(m_awaitedReply);
    m_awaitedId = outerId;
    m_awaitedReply = std::move(outerReply);
    return reply;
}

bool DevToolsPipe::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    // Messages already read but not yet handled come first.
    takeMessages();
    while (!done()) {
        if (!isOpen() || !pollFor(m_eventFd, POLLIN, deadline))
            return done();
        readAvailable();
    }
    return true;
}

void DevToolsPipe::readAvailable()
{
    char chunk[65536];
    while (isOpen()) {
        const ssize_t n = ::read(m_eventFd, chunk, sizeof chunk);
        if (n > 0) {
            m_buffer.append(chunk, n);
            if (m_buffer.size() > maxFrameSize)
                takeMessages();
            if (m_buffer.size() > maxFrameSize) {
                m_buffer.clear();
                markClosed();
                return;
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        takeMessages();
        markClosed();
        return;
    }
    takeMessages();
}

void DevToolsPipe::takeMessages()
{
    qsizetype end;
    while ((end = m_buffer.indexOf('\0', m_scanned)) >= 0) {
        const QByteArray text = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        m_scanned = 0;
        handleMessage(text);
    }
    // A long frame arrives in many reads: each new read is searched once, not the whole frame.
    m_scanned = m_buffer.size();
}

void DevToolsPipe::handleMessage(const QByteArray& text)
{
    // The console output of pages comes in floods once their runtime reports to us, and the
    // program reads none of it: dropped before it is parsed.
    if (text.startsWith(R"({"method":"Runtime.consoleAPICalled")"))
        return;
    const QJsonObject message = QJsonDocument::fromJson(text).object();
    if (message.contains(QStringLiteral("id"))) {
        const int id = message.value(QStringLiteral("id")).toInt();
        if (m_awaitedId != 0 && id == m_awaitedId) {
            m_awaitedReply = message;
        } else if (const auto handler = m_replyHandlers.take(id)) {
            handler(message);
        }
        // Answers to commands that nobody waits for are dropped.
        return;
    }
    if (m_eventHandler && message.contains(QStringLiteral("method")))
        m_eventHandler(message);
}

void DevToolsPipe::markClosed()
{
    if (!isOpen())
        return;
    close();
    if (auto handler = std::move(m_closedHandler))
        handler();
}
