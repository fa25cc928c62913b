#include "LoadEventWait.h"

#include "browser/ahead/AheadBrowser.h"
#include "browser/ahead/RunningBrowser.h"
#include "browser/page/PageLoads.h"
#include "browser/window/WindowBrowser.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

LoadEventWait::LoadEventWait(WindowBrowser& window)
    : LoadEventWait(window.chromium().loads(), [&window] { return window.sessionId(); })
{}

LoadEventWait::LoadEventWait(AheadBrowser& hidden)
    : LoadEventWait(hidden.chromium().loads(), [&hidden] { return hidden.sessionId(); })
{}

LoadEventWait::LoadEventWait(PageLoads& loads, std::function<QString()> session)
    : m_loads(loads), m_session(std::move(session)), m_startSession(m_session()),
      m_startEvents(loads.loadEventsOf(m_startSession))
{}

bool LoadEventWait::loaded() const
{
    const QString session = m_session();
    return m_loads.loadEventsOf(session) > (session == m_startSession ? m_startEvents : 0);
}

bool LoadEventWait::wait(int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!loaded()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QObject::connect(&m_loads, &PageLoads::ended, &loop, &QEventLoop::quit);
        QTimer::singleShot(int(deadline.remainingTime()), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

namespace {
template <typename Instance> bool loadFullyIn(Instance& instance, const QString& url, int timeoutMs)
{
    const LoadEventWait load(instance);
    instance.Navigate(url);
    return load.wait(timeoutMs);
}
} // namespace

bool loadFully(WindowBrowser& window, const QString& url, int timeoutMs)
{
    return loadFullyIn(window, url, timeoutMs);
}

bool loadFully(AheadBrowser& hidden, const QString& url, int timeoutMs)
{
    return loadFullyIn(hidden, url, timeoutMs);
}
