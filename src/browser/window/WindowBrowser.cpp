#include "browser/window/WindowBrowser.h"

#include "browser/Meanwhile.h"
#include "browser/NavigationUrl.h"
#include "browser/Str.h"
#include "browser/ahead/LoadAhead.h"
#include "browser/ahead/RunningBrowser.h"
#include "browser/devtools/BrowserEndWatch.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/page/PageLoads.h"
#include "browser/page/ShownPage.h"
#include "browser/window/HistoryStep.h"
#include "browser/window/StepKeyBinding.h"
#include "browser/window/UnattendedStep.h"
#include "browser/window/WindowNavigation.h"
#include "browser/window/WindowPlacement.h"
#include "browser/window/WindowPrerender.h"
#include "platform/Failure.h"

std::unique_ptr<WindowBrowser> WindowBrowser::open(std::shared_ptr<RunningBrowser> chromium,
                                                   const QString& tabId, const QString& madeOn)
{
    const ShownPage::Tab tab = ShownPage::attachTab(chromium->connection(), tabId);
    return std::unique_ptr<WindowBrowser>(new WindowBrowser(std::move(chromium), tab, madeOn));
}

// The page on show is the blank one that the window was made with, whichever address it is on its
// way to: its first step leaves nothing.
WindowBrowser::WindowBrowser(std::shared_ptr<RunningBrowser> chromium, const ShownPage::Tab& tab,
                             QString madeOn)
    : m_chromium(std::move(chromium)), m_connection(m_chromium->connection()),
      m_loads(m_chromium->loads()), m_page(new ShownPage(m_connection, m_loads, tab.targetId,
                                                         tab.sessionId, str("about:blank"), this)),
      m_madeOn(std::move(madeOn))
{
    LoadAhead& ahead = m_chromium->ahead();
    // With its lifecycle events: when it painted (see ShownPage), and the step's trace.
    m_loads.watch(tab.sessionId, true, PageLoads::Sending::Settled);
    // Without it the window is only slower to show a next page that may not be cached.
    ahead.followWindow(*m_page);
    KeptDocumentServer& server = ahead.keptDocumentServer();
    m_navigation = new WindowNavigation(
        m_connection, *m_page,
        [&server](const QString& address, std::function<void(bool fresh)> then) {
            server.checkFresh(address, std::move(then));
        },
        this);
    m_prerender = new WindowPrerender(m_connection, *m_page, tab.sessionOfTab, ahead, this);
    m_unattended = new UnattendedStep(m_connection, *m_page, server, this);
    connect(m_prerender, &WindowPrerender::starting, this, &WindowBrowser::setUpPrerender);
    connect(m_page, &ShownPage::loaded, this, [this](const QString& frameId) {
        // Its load event: the timed step's page has come.
        if (frameId.isEmpty())
            m_unattended->end();
        if (m_pageLoaded)
            m_pageLoaded();
    });
    connect(m_page, &ShownPage::replaced, this, [this] {
        // Loaded already, as a rule: the load of the step is over when its end is counted.
        m_loadEndsBeforeNavigate = 0;
        m_unattended->end();
    });
}

// What the window's page has, the prerender has before it starts: the step keys and the input
// watch, load events, and its documents from the ones loaded ahead.
void WindowBrowser::setUpPrerender(const QString& sessionId)
{
    meanwhile([&] {
        m_loads.watch(sessionId, true, PageLoads::Sending::Unchecked);
        if (m_stepKeys)
            m_stepKeys->installIn(sessionId);
        m_chromium->ahead().keptDocumentServer().servePrerender(sessionId);
    });
}

void WindowBrowser::requireTarget() const
{
    if (!m_connection.hasTarget(m_page->targetId()))
        throw Failure(FailureNumber::ObjectDisconnected);
}

void WindowBrowser::setVisible(bool visible)
{
    requireTarget();
    WindowPlacement::show(m_connection, m_page->targetId(), visible);
}

void WindowBrowser::placeWindow(const QString& edge, double pixels)
{
    requireTarget();
    const bool first = !m_placedEdges.contains(edge);
    m_placedEdges.insert(edge);
    WindowPlacement::setEdge(m_connection, m_page->targetId(), edge, pixels, first);
}

void WindowBrowser::navigate(const QString& url, bool unattended)
{
    requireTarget();
    const QString address = shownAddress(url);
    if (takeOverFirstLoad(address, unattended))
        return;
    m_unattended->begin(url, unattended);
    const auto activation = m_prerender->activationFor(address);
    // The window's first address goes before its documents are served from the kept ones
    // while the hidden instance has loaded nothing: no copy can answer it, and a request paused
    // for nothing only comes later.
    KeptDocumentServer& server = m_chromium->ahead().keptDocumentServer();
    if (!m_chromium->ahead().aheadAddress().isEmpty())
        server.pauseWindowRequests();
    // The set-up sent for the pages (the step keys' listener) must be answered first: a page
    // that goes to a new renderer as they are under way may come up without them.
    m_connection.settle();
    leave(address);
    m_navigation->navigate(address, activation);
    server.pauseWindowRequests();
}

// The window's first step onto the address that it was made on: that load is the step's. Its
// load events count from the window's start, which this follows. Not a timed step's: the browser
// did not refuse its download from the start, so that step loads its address anew.
// Pausing the window's requests as its page loads put off that page's load event by some 20 ms
// on two cores, and nothing is kept for it yet: its documents are served from the kept ones
// once it has come, or from the next step if that is sooner.
bool WindowBrowser::takeOverFirstLoad(const QString& address, bool unattended)
{
    if (std::exchange(m_madeOn, {}) != address || address == QLatin1String("about:blank") ||
        unattended)
        return false;
    m_page->leave(address);
    m_prerender->leave();
    m_navigation->takeOver(address);
    LoadAhead& ahead = m_chromium->ahead();
    const auto serve = [&server = ahead.keptDocumentServer()] { server.pauseWindowRequests(); };
    if (!ahead.afterWindowPage(serve))
        serve();
    m_connection.settle();
    return true;
}

void WindowBrowser::NavigateBack(const QString& url)
{
    requireTarget();
    const QString address = shownAddress(url);
    m_unattended->end();
    m_connection.settle();
    const std::optional<int> entry =
        previousEntryShowing(m_connection, m_page->sessionId(), address);
    if (!entry) {
        Navigate(url);
        return;
    }
    leave(address);
    m_navigation->navigateToHistoryEntry(*entry, address);
}

// The page on show goes, with the rules for its prerender; its loads from now on are the step's.
void WindowBrowser::leave(const QString& address)
{
    m_madeOn.clear();
    m_loadEndsBeforeNavigate = m_loads.endsOf(m_page->sessionId());
    m_page->leave(address);
    m_prerender->leave();
}

QString WindowBrowser::LocationURL()
{
    requireTarget();
    const QJsonObject reply =
        m_connection.command(str("Target.getTargetInfo"), {{str("targetId"), m_page->targetId()}});
    const QString url = reply.value(str("targetInfo")).toObject().value(str("url")).toString();
    // The target has no address for a moment as its page moves to another site's renderer, a
    // moment that a loaded machine stretches to seconds: the window is on its way to the
    // address that it was sent to.
    return url.isEmpty() ? m_navigation->address() : url;
}

void WindowBrowser::Quit()
{
    // The browser goes whether or not its window was still there; a window that was already
    // gone is still reported.
    const bool hadWindow = m_connection.hasTarget(m_page->targetId());
    m_chromium->quit();
    if (!hadWindow)
        throw Failure(FailureNumber::ObjectDisconnected);
}

void WindowBrowser::watchStepKeys(std::function<void(StepKey)> pressed)
{
    requireTarget();
    listener().pressed = std::move(pressed);
}

void WindowBrowser::watchUserInput(std::function<void()> active)
{
    requireTarget();
    listener().active = std::move(active);
}

// One listener in the pages for keys and input, whichever is asked for first.
StepKeyBinding& WindowBrowser::listener()
{
    if (!m_stepKeys) {
        m_stepKeys = new StepKeyBinding(
            m_connection, *m_page, [this] { m_unattended->userActive(); }, this);
        m_stepKeys->install();
    }
    return *m_stepKeys;
}

void WindowBrowser::watchPageLoads(std::function<void()> loaded)
{
    requireTarget();
    m_pageLoaded = std::move(loaded);
    // Counted from the window's start, which comes before the first page.
    const bool loadedAlready = m_loads.endsOf(m_page->sessionId()) > m_loadEndsBeforeNavigate;
    if (loadedAlready && m_pageLoaded)
        m_pageLoaded();
}

void WindowBrowser::watchPassedOver(
    std::function<void(const QString& link, const QString& why)> passedOver)
{
    requireTarget();
    m_unattended->watchPassedOver(std::move(passedOver));
}

void WindowBrowser::watchEnd(std::function<void()> gone)
{
    delete m_endWatch;
    m_endWatch = new BrowserEndWatch(m_connection, std::move(gone), this);
}
