#include "session/BrowserRestart.h"

#include "browser/Browser.h"
#include "platform/Clock.h"
#include "platform/Failure.h"
#include "session/Handler.h"
#include "session/Module1.h"
#include "session/ThemeDocument.h"

#include <utility>

BrowserRestart::BrowserRestart(Module1& m, std::function<void()> startPair)
    : m(m), m_startPair(std::move(startPair))
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this,
            [this] { runHandler(this->m, [this] { tryAgain(); }); });
    m.browserRestart = this;
}

BrowserRestart::~BrowserRestart()
{
    m.browserRestart = nullptr;
}

void BrowserRestart::browserEnded()
{
    if (m_pending)
        return;
    m_pending = true;
    m_reason = m.MainBrowser ? m.MainBrowser->whyGone() : QStringLiteral("it did not start");
    m_retry.start(0);
}

void BrowserRestart::tryAgain()
{
    if (!m_pending)
        return;
    const QDateTime now = m.platform.clock.now();
    const QDateTime windowStart = now.addSecs(-std::chrono::seconds(Window).count());
    while (!m_restarts.isEmpty() && m_restarts.first() <= windowStart)
        m_restarts.removeFirst();
    const bool paused = m_restarts.size() >= Burst;
    if (paused && !std::exchange(m_paused, true))
        m.WriteLogLine(QStringLiteral(" The browser ended %1 times in %2 minutes: it is tried "
                                      "again once a minute")
                           .arg(Burst)
                           .arg(std::chrono::minutes(Window).count()));
    m_paused = paused;
    if (paused) {
        const QDateTime due = m_restarts.last().addSecs(std::chrono::seconds(Pause).count());
        if (now < due) {
            m_retry.start(std::chrono::milliseconds(now.msecsTo(due)));
            return;
        }
    }
    m_restarts << now;
    restart();
}

// The dead browser goes first, with its processes, its lock on the profile and a temporary
// profile; the new pair then shows the link that was on show, as a timed step shows it.
void BrowserRestart::restart()
{
    const Module1::NobodyAsked nobody(m);
    m.MainBrowser.reset();
    m.PrefetchBrowser.reset();
    m.browserFactory.dropBrowser();
    // The new window is made on it, rather than on the start-up's first link and then sent on.
    m.browserFactory.expectFirstLink(m.theme().Links(m.theme().LinkIndex()));
    try {
        m_startPair();
    } catch (const Failure&) {
        m_reason = QStringLiteral("it could not be started again");
        m_retry.start(0);
        return;
    }
    m_pending = false;
    // Once a minute the one line said it all.
    if (!m_paused)
        m.WriteLogLine(QStringLiteral(" The browser ended (") + m_reason +
                       QStringLiteral(") and was started again"));
    m.theme().ShowAgain();
}
