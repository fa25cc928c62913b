#include "browser/devtools/BrowserEndWatch.h"

#include "browser/BrowserClock.h"
#include "browser/Str.h"
#include "browser/devtools/DevToolsConnection.h"

#include <QPointer>

BrowserEndWatch::BrowserEndWatch(DevToolsConnection& connection, std::function<void()> gone,
                                 QObject* parent)
    : QObject(parent), m_connection(connection), m_gone(std::move(gone)),
      m_next(connection.clock().timer())
{
    m_connection.setClosedHandler([this] { tell(); });
    m_next->fired = [this] { ask(); };
    m_next->start(AskEveryMs);
}

BrowserEndWatch::~BrowserEndWatch()
{
    m_connection.setClosedHandler(nullptr);
}

void BrowserEndWatch::ask()
{
    const qint64 now = m_connection.clock().nowMs();
    if (m_askedAt >= 0 && now - m_askedAt >= DevToolsConnection::ReplyTimeoutMs) {
        tell();
        return;
    }
    m_next->start(AskEveryMs);
    if (m_askedAt >= 0)
        return;
    // Not sent when its pipe has closed: the closed handler has told it.
    if (m_connection.send(str("Browser.getVersion"), {}, {},
                          [watch = QPointer(this)](const QJsonObject&) {
                              if (watch)
                                  watch->m_askedAt = -1;
                          }))
        m_askedAt = now;
}

void BrowserEndWatch::tell()
{
    m_next->stop();
    if (auto gone = std::exchange(m_gone, nullptr))
        gone();
}
