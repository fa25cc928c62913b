#include "browser/devtools/DevToolsPipe.h"

#include "browser/devtools/PipeFrames.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <utility>

using namespace PipeFrames;

namespace {
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
DevToolsPipe::DevToolsPipe(int commandFd, int eventFd, qsizetype maxFrameSize, BrowserClock& clock)
    : m_commandFd(commandFd), m_eventFd(eventFd), m_maxFrameSize(maxFrameSize), m_clock(clock)
{
    makeNonBlocking(m_commandFd);
    makeNonBlocking(m_eventFd);
    // A browser that is gone must fail the next write to its pipe, not end the program: the
    // signal that such a write raises is ignored, for the whole program, as any pipe's owner
    // must.
    std::signal(SIGPIPE, SIG_IGN);
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
    return writeMessage(messageText(id, method, params, sessionId) + "}}" + '\0') ? id : 0;
}

int DevToolsPipe::sendWithBytes(const QString& method, const QJsonObject& params,
                                const QString& sessionId, QLatin1String field,
                                const QByteArray& bytes)
{
    if (!isOpen())
        return 0;
    const int id = m_nextId++;
    QByteArray text = messageText(id, method, params, sessionId);
    text.reserve(text.size() + field.size() + (bytes.size() + 2) / 3 * 4 + 16);
    text += params.isEmpty() ? "\"" : ",\"";
    text += field;
    text += "\":\"";
    // In pieces: the base64 of a large body is never held twice.
    constexpr qsizetype piece = qsizetype{3} * 65536;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        text += QByteArray::fromRawData(bytes.constData() + at, qMin(piece, bytes.size() - at))
                    .toBase64();
    }
    text += "\"}}";
    text.append('\0');
    return writeMessage(text) ? id : 0;
}

// The message up to the end of its parameters: their closing brace and the message's own are
// left for the caller.
QByteArray DevToolsPipe::messageText(int id, const QString& method, const QJsonObject& params,
                                     const QString& sessionId)
{
    QJsonObject head{{QStringLiteral("id"), id}, {QStringLiteral("method"), method}};
    if (!sessionId.isEmpty())
        head.insert(QStringLiteral("sessionId"), sessionId);
    QByteArray text = QJsonDocument(head).toJson(QJsonDocument::Compact);
    text.chop(1);
    text += R"(,"params":)";
    text += QJsonDocument(params).toJson(QJsonDocument::Compact);
    text.chop(1);
    return text;
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
    const int outerId = std::exchange(m_awaitedId, id);
    auto outerReply = std::exchange(m_awaitedReply, std::nullopt);
    waitUntil([this] { return m_awaitedReply.has_value(); }, timeoutMs);
    m_awaitedId = outerId;
    return std::exchange(m_awaitedReply, std::move(outerReply));
}

bool DevToolsPipe::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const qint64 end = timeoutMs < 0 ? -1 : m_clock.nowMs() + timeoutMs;
    // Messages already read but not yet handled come first.
    takeMessages();
    while (!done()) {
        const qint64 left = end < 0 ? -1 : qMax<qint64>(0, end - m_clock.nowMs());
        if (!isOpen() || !m_clock.waitForInput(m_eventFd, int(qMin<qint64>(left, 1 << 30))))
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
            // Each read is handled before the next: a frame that is dropped never gathers.
            takeMessages();
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
}

// Handlers may read the pipe again (a nested call()): each frame leaves m_buffer before it is
// handled, so that the nested reader goes on with the frames after it, in order.
void DevToolsPipe::takeMessages()
{
    for (;;) {
        if (m_skipping) {
            const qsizetype end = m_buffer.indexOf('\0');
            m_scanned = 0;
            if (!m_skippedHead.isEmpty()) {
                const QByteArrayView part =
                    QByteArrayView(m_buffer).first(end < 0 ? m_buffer.size() : end);
                m_skippedTail.append(part.last(qMin(part.size(), EdgeBytes)));
                m_skippedTail = m_skippedTail.right(EdgeBytes);
            }
            if (end < 0) {
                m_buffer.clear();
                return;
            }
            m_buffer.remove(0, end + 1);
            endSkippedFrame();
            continue;
        }
        const qsizetype end = m_buffer.indexOf('\0', m_scanned);
        if (end < 0) {
            // A long frame arrives in many reads: each new read is searched once, not the whole
            // frame.
            m_scanned = m_buffer.size();
            if (m_buffer.isEmpty() || !skipsOpenFrame())
                return;
            continue;
        }
        const QByteArray text = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        m_scanned = 0;
        handleMessage(text);
    }
}

bool DevToolsPipe::reads(QByteArrayView frame) const
{
    const FrameStart start = frameStart(frame);
    if (start.kind == FrameStart::Answer)
        return isAwaited(start.id);
    if (start.kind == FrameStart::Event)
        return !m_eventFilter || m_eventFilter(start.method);
    return true;
}

bool DevToolsPipe::isAwaited(int id) const
{
    return (m_awaitedId != 0 && id == m_awaitedId) || m_replyHandlers.contains(id);
}

// Decides whether the frame that has begun at the start of m_buffer is dropped as it comes.
bool DevToolsPipe::skipsOpenFrame()
{
    const bool read = reads(m_buffer);
    if (read && m_buffer.size() <= m_maxFrameSize)
        return false;
    m_skipping = true;
    const FrameStart start = frameStart(m_buffer);
    m_skippedId = read && start.kind == FrameStart::Answer ? start.id : 0;
    m_skippedHead =
        read && start.kind == FrameStart::Event ? m_buffer.left(EdgeBytes) : QByteArray();
    m_skippedTail.clear();
    return true;
}

void DevToolsPipe::endSkippedFrame()
{
    m_skipping = false;
    if (const int id = std::exchange(m_skippedId, 0))
        deliverReply(id, answerTooLarge(id));
    if (const QByteArray head = std::exchange(m_skippedHead, {});
        !head.isEmpty() && m_droppedEventHandler)
        m_droppedEventHandler(head, m_skippedTail);
    m_skippedTail.clear();
}

void DevToolsPipe::handleMessage(const QByteArray& text)
{
    // Dropped before it is parsed, as the open frames are.
    if (!reads(text))
        return;
    const QJsonObject message = QJsonDocument::fromJson(text).object();
    if (message.contains(QStringLiteral("id"))) {
        deliverReply(message.value(QStringLiteral("id")).toInt(), message);
        return;
    }
    const QString method = message.value(QStringLiteral("method")).toString();
    if (m_eventHandler && !method.isEmpty() && (!m_eventFilter || m_eventFilter(method.toUtf8())))
        m_eventHandler(message);
}

// Answers to commands that nobody waits for are dropped.
void DevToolsPipe::deliverReply(int id, const QJsonObject& reply)
{
    if (m_awaitedId != 0 && id == m_awaitedId) {
        m_awaitedReply = reply;
    } else if (const auto handler = m_replyHandlers.take(id)) {
        handler(reply);
    }
}

void DevToolsPipe::markClosed()
{
    if (!isOpen())
        return;
    close();
    if (auto handler = std::move(m_closedHandler))
        handler();
}
