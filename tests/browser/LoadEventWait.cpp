#include "LoadEventWait.h"

#include "browser/ahead/AheadBrowser.h"
#include "browser/ahead/RunningBrowser.h"
#include "browser/page/PageLoads.h"
#include "browser/window/WindowBrowser.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

LoadEventWait::LoadEventWait(WindowBrowser& window)
    : LoadEventWait(window.chromium().loads(), [&window] { return window.page().sessionId(); })
{}

LoadEventWait::LoadEventWait(AheadBrowser& hidden)
    : LoadEventWait(hidden.chromium().loads(), [&hidden] { return hidden.sessionId(); })
{}

LoadEventWait::LoadEventWait(PageLoads& loads, std::function<QString()> session)
    : m_loads(loads), m_session(std::move(session)), m_startSession(m_session()),
      m_startLoader(loads.loaderOf(m_startSession))
{
    QObject::connect(&loads, &PageLoads::ended, &m_listening,
                     [this](const QString& sessionId, const QString& frameId) {
                         const QString before =
                             sessionId == m_startSession ? m_startLoader : QString();
                         if (frameId.isEmpty() && sessionId == m_session() &&
                             m_loads.loaderOf(sessionId) != before)
                             m_loaded = true;
                     });
}

bool LoadEventWait::wait(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_loaded && !deadline.hasExpired()) {
        QEventLoop loop;
        QObject::connect(&m_loads, &PageLoads::ended, &loop, &QEventLoop::quit);
        QTimer::singleShot(int(deadline.remainingTime()), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return m_loaded;
}

namespace {
template <typename Instance> bool loadFullyIn(Instance& instance, const QString& url, int timeoutMs)
{
    LoadEventWait load(instance);
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
