#include "browser/ahead/LoadAhead.h"

#include "browser/Str.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/page/PageLoads.h"
#include "browser/page/ShownPage.h"
#include "log/StepTrace.h"
#include "platform/Failure.h"

LoadAhead::LoadAhead(DevToolsConnection& connection, PageLoads& loads, QObject* parent)
    : QObject(parent), m_connection(connection), m_kept(connection.clock()),
      m_guard(connection, m_kept), m_server(connection, loads, m_kept),
      m_holdTimer(connection.clock().timer())
{
    m_holdTimer->fired = [this] { endHold(); };
}

void LoadAhead::followWindow(ShownPage& page)
{
    m_window = &page;
    m_server.serveWindow(page);
    connect(&page, &ShownPage::leaving, this, &LoadAhead::windowLeaves);
    connect(&page, &ShownPage::loaded, this, &LoadAhead::windowLoaded);
    // A prerender shown has painted already.
    for (const auto gone : {&ShownPage::painted, &ShownPage::replaced, &ShownPage::rendererGone,
                            &ShownPage::closed}) {
        connect(&page, gone, this, [this] {
            if (holds())
                endHold();
        });
    }
}

void LoadAhead::windowLeaves(const QString& address)
{
    m_guard.windowGoesTo(address);
    // Steps in quick succession do not put the hidden instance off for longer.
    if (holds())
        return;
    m_holding = true;
    m_leftLoader = m_window->loads().loaderOf(m_window->sessionId());
    m_holdTimer->start(HeadStartMs);
}

// The page left may still be loading as the step comes (the blank page that the window was made
// with, say): only the stop of a document that came after it counts. A load that fails stops as
// well, with an error page of its own.
void LoadAhead::windowLoaded(const QString& frameId)
{
    if (!holds() || frameId.isEmpty() ||
        m_window->loads().loaderOf(m_window->sessionId()) == m_leftLoader)
        return;
    const int left = m_holdTimer->remainingMs();
    if (left < 0 || left > PaintAfterLoadMs)
        m_holdTimer->start(PaintAfterLoadMs);
}

void LoadAhead::navigate(const QString& address, const QString& sessionId)
{
    m_aheadAddress = address;
    if (!m_connection.isAlive())
        throw Failure(FailureNumber::ObjectDisconnected);
    if (holds() && !holdIsOver())
        m_held.insert(sessionId, address);
    else
        send(address, sessionId);
}

// The answer comes only when the server has answered; nobody waits for it.
void LoadAhead::send(const QString& address, const QString& sessionId)
{
    StepTrace::mark("ahead");
    m_connection.send(str("Page.navigate"), {{str("url"), address}}, sessionId);
}

bool LoadAhead::afterWindowPage(std::function<void()> then)
{
    if (!holds() || holdIsOver())
        return false;
    m_afterWindowPage.append(std::move(then));
    return true;
}

// Its timer may be due while a caller waits on the pipe and no timer runs.
bool LoadAhead::holdIsOver()
{
    if (m_holdTimer->remainingMs() != 0)
        return false;
    endHold();
    return true;
}

void LoadAhead::endHold()
{
    m_holding = false;
    m_holdTimer->stop();
    const QMap<QString, QString> held = std::exchange(m_held, {});
    for (auto it = held.begin(); it != held.end(); ++it)
        send(it.value(), it.key());
    for (const auto& then : std::exchange(m_afterWindowPage, {}))
        then();
}
