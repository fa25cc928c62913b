#include "browser/ChromiumBrowser.h"

#include "browser/ChromiumConnection.h"
#include "browser/Meanwhile.h"
#include "browser/NavigationUrl.h"
#include "browser/StepKeyBinding.h"
#include "browser/WindowNavigation.h"
#include "browser/WindowPrerender.h"
#include "browser/Str.h"
#include "platform/Failure.h"

#include <QJsonArray>
#include <QUrl>

#include <cmath>

namespace {
// Fractional pixels are rounded; values no screen has are held to what a window can take.
int wholePixels(double pixels)
{
    if (!std::isfinite(pixels))
        return 0;
    return int(std::lround(std::clamp(pixels, -1.0e6, 1.0e6)));
}

// An address as the browser keeps it in its history: a web address with no path has "/".
QUrl comparableUrl(const QString& address)
{
    QUrl url(address);
    if (url.path().isEmpty() && (url.scheme() == QLatin1String("http") ||
                                 url.scheme() == QLatin1String("https")))
        url.setPath(str("/"));
    return url;
}
} // namespace

ChromiumBrowser::ChromiumBrowser(std::shared_ptr<ChromiumConnection> connection, Kind kind,
                                 QString targetId, QString sessionId)
    : m_connection(std::move(connection)), m_kind(kind), m_targetId(std::move(targetId)),
      m_sessionId(std::move(sessionId))
{
    if (m_kind != Kind::Window)
        return;
    m_navigation = std::make_unique<WindowNavigation>(*m_connection, m_targetId, m_sessionId);
    m_prerender = std::make_unique<WindowPrerender>(
        *m_connection, m_connection->windowTabSessionId(),
        WindowPrerender::Page{m_targetId, m_sessionId, {}},
        [this](const QString& sessionId) { setUpPrerender(sessionId); },
        [this](const WindowPrerender::Page& page) {
            followPage(page.targetId, page.sessionId, page.url);
        });
}

// What the window's page has, the prerender has before it starts: the step keys and the input
// watch, load events, and its documents from the ones loaded ahead.
void ChromiumBrowser::setUpPrerender(const QString& sessionId)
{
    meanwhile([&] {
        if (m_stepKeys)
            m_stepKeys->installIn(sessionId);
        else
            m_connection->post(str("Page.enable"), {}, sessionId);
        m_connection->servePrerender(sessionId);
    });
}

void ChromiumBrowser::followPage(const QString& targetId, const QString& sessionId,
                                 const QString& url)
{
    m_targetId = targetId;
    m_sessionId = sessionId;
    // Loaded already, as a rule: the load of the step is over when its load event is counted.
    m_loadEventsBeforeNavigate = 0;
    m_loadEndsBeforeNavigate = 0;
    m_navigation->follow(targetId, sessionId);
    endUnattended();
    if (m_stepKeys)
        m_stepKeys->follow(sessionId);
    m_connection->followWindowPage(targetId, sessionId, url);
}

ChromiumBrowser::~ChromiumBrowser()
{
    if (m_pageEventListenerId != 0)
        m_connection->removeEventListener(m_pageEventListenerId);
}

void ChromiumBrowser::requireTarget() const
{
    // A hidden instance not made yet is there as long as its browser is.
    const bool there = m_targetId.isEmpty() ? m_connection->isAlive()
                                            : m_connection->hasTarget(m_targetId);
    if (!there)
        throw Failure(FailureNumber::ObjectDisconnected);
}

// The hidden instance's target is made when it is first asked to load or to tell its page, so
// that making it never holds up the window's first page at start-up.
void ChromiumBrowser::makeTarget()
{
    requireTarget();
    if (m_targetId.isEmpty())
        std::tie(m_targetId, m_sessionId) =
            m_connection->createHiddenTarget(FailureNumber::CannotCreateObject);
}

void ChromiumBrowser::setVisible(bool visible)
{
    requireTarget();
    // The hidden instance has no window to show, whatever it is told.
    if (m_kind == Kind::Hidden)
        return;
    placeWhenKnown([visible](const QString& state) -> QList<QJsonObject> {
        if (visible ? state != QLatin1String("minimized") : state == QLatin1String("minimized"))
            return {};
        return {{{str("windowState"), visible ? str("normal") : str("minimized")}}};
    });
}

void ChromiumBrowser::setTop(double pixels)
{
    placeWindow(str("top"), pixels);
}

void ChromiumBrowser::setLeft(double pixels)
{
    placeWindow(str("left"), pixels);
}

void ChromiumBrowser::setWidth(double pixels)
{
    placeWindow(str("width"), pixels);
}

void ChromiumBrowser::setHeight(double pixels)
{
    placeWindow(str("height"), pixels);
}

// Asks for the window and, as its answer comes, sets the bounds that `boundsFor` gives for the
// state that it is in, in turn. The window's placement never holds up a page: nobody waits, and
// the next operation that settles checks the answers.
void ChromiumBrowser::placeWhenKnown(
    const std::function<QList<QJsonObject>(const QString& state)>& boundsFor)
{
    ChromiumConnection& connection = *m_connection;
    connection.postChecked(
        str("Browser.getWindowForTarget"), {{str("targetId"), m_targetId}}, {},
        FailureNumber::ObjectDisconnected, [&connection, boundsFor](const QJsonObject& window) {
            const int windowId = window.value(str("windowId")).toInt();
            const QString state =
                window.value(str("bounds")).toObject().value(str("windowState")).toString();
            for (const QJsonObject& bounds : boundsFor(state))
                connection.postChecked(str("Browser.setWindowBounds"),
                                       {{str("windowId"), windowId}, {str("bounds"), bounds}}, {});
        });
}

void ChromiumBrowser::placeWindow(const QString& edge, double pixels)
{
    requireTarget();
    if (m_kind == Kind::Hidden)
        return;
    const QJsonObject edgeBounds{{edge, wholePixels(pixels)}};
    // A maximized or minimized window takes no position; it is made normal first.
    placeWhenKnown([edgeBounds](const QString& state) -> QList<QJsonObject> {
        if (state == QLatin1String("normal"))
            return {edgeBounds};
        return {{{str("windowState"), str("normal")}}, edgeBounds};
    });
}

void ChromiumBrowser::Navigate(const QString& url)
{
    navigate(url, false);
}

void ChromiumBrowser::NavigateUnattended(const QString& url)
{
    navigate(url, true);
}

void ChromiumBrowser::navigate(const QString& url, bool unattended)
{
    makeTarget();
    QString address = shownAddress(url);
    if (m_navigation) {
        // Set before the page is asked for: its download may be reported while this still runs.
        m_unattendedLink = unattended ? url : QString();
        refuseDownloads(unattended);
        m_loadEventsBeforeNavigate = m_connection->loadEventCount(m_sessionId);
        m_loadEndsBeforeNavigate = m_connection->loadEndCount(m_sessionId);
        m_connection->windowNavigating(address);
        const auto activation = m_prerender->activationFor(address);
        m_prerender->leave();
        m_navigation->navigate(address, activation);
        // The window's set-up was sent ahead of the page; it is checked once the page is on its
        // way.
        m_connection->settle();
        return;
    }
    // A hidden target whose guard is not in place loads nothing.
    m_connection->settle();
    m_loadEventsBeforeNavigate = m_connection->loadEventCount(m_sessionId);
    if (!isWorthLoadingAhead(address))
        address = str("about:blank");
    m_connection->loadingAhead(address);
    m_connection->navigateAhead(address, m_sessionId);
}

void ChromiumBrowser::NavigateBack(const QString& url)
{
    makeTarget();
    // Only the window has a user who went forward from that page.
    const QString address = shownAddress(url);
    endUnattended();
    m_connection->settle();
    const std::optional<int> entry =
        m_navigation ? previousEntryShowing(address) : std::nullopt;
    if (!entry) {
        Navigate(url);
        return;
    }
    m_loadEventsBeforeNavigate = m_connection->loadEventCount(m_sessionId);
    m_loadEndsBeforeNavigate = m_connection->loadEndCount(m_sessionId);
    m_connection->windowNavigating(address);
    m_prerender->leave();
    m_navigation->navigateToHistoryEntry(*entry, address);
}

// The id of the history entry just before the current one when it shows `address`, as the link
// was sent or where its redirects ended.
std::optional<int> ChromiumBrowser::previousEntryShowing(const QString& address)
{
    const QJsonObject history = m_connection->command(str("Page.getNavigationHistory"), {},
                                                      m_sessionId);
    const int current = history.value(str("currentIndex")).toInt();
    const QJsonArray entries = history.value(str("entries")).toArray();
    if (current < 1 || current >= entries.size())
        return std::nullopt;
    const QJsonObject previous = entries.at(current - 1).toObject();
    // The answer to a form sent from the page, not the link: going back to it could send the
    // form again.
    if (previous.value(str("transitionType")).toString() == QLatin1String("form_submit"))
        return std::nullopt;
    const QUrl wanted = comparableUrl(address);
    if (comparableUrl(previous.value(str("url")).toString()) != wanted &&
        comparableUrl(previous.value(str("userTypedURL")).toString()) != wanted)
        return std::nullopt;
    return previous.value(str("id")).toInt();
}

int ChromiumBrowser::endedRenderers() const
{
    return m_navigation ? m_navigation->endedRenderers() : 0;
}

QString ChromiumBrowser::LocationURL()
{
    makeTarget();
    m_connection->settle();
    const QJsonObject reply =
        m_connection->command(str("Target.getTargetInfo"), {{str("targetId"), m_targetId}});
    const QString url = reply.value(str("targetInfo")).toObject().value(str("url")).toString();
    // The target has no address for a moment as its page moves to another site's renderer, a
    // moment that a loaded machine stretches to seconds: the window is on its way to the
    // address that it was sent to.
    if (url.isEmpty() && m_navigation)
        return m_navigation->address();
    return url;
}

void ChromiumBrowser::Quit()
{
    if (m_kind == Kind::Hidden) {
        requireTarget();
        if (m_targetId.isEmpty())
            return;
        m_connection->command(str("Target.closeTarget"), {{str("targetId"), m_targetId}});
        return;
    }
    // The browser goes whether or not its window was still there; a window that was already
    // gone is still reported.
    const bool hadWindow = m_connection->hasTarget(m_targetId);
    m_connection->quit();
    if (!hadWindow)
        throw Failure(FailureNumber::ObjectDisconnected);
}

void ChromiumBrowser::watchStepKeys(std::function<void(StepKey)> pressed)
{
    requireTarget();
    if (m_kind == Kind::Hidden)
        return;
    m_stepKeyPressed = std::move(pressed);
    listenInPages();
}

qint64 ChromiumBrowser::windowProcessGroup() const
{
    return m_kind == Kind::Window ? m_connection->processGroup() : 0;
}

void ChromiumBrowser::watchUserInput(std::function<void()> active)
{
    requireTarget();
    if (m_kind == Kind::Hidden)
        return;
    m_userActive = std::move(active);
    listenInPages();
}

// One listener in the pages for keys and input, whichever is asked for first.
void ChromiumBrowser::listenInPages()
{
    if (m_stepKeys)
        return;
    auto binding = std::make_unique<StepKeyBinding>(
        *m_connection, m_sessionId,
        [this](StepKey key) {
            if (m_stepKeyPressed)
                m_stepKeyPressed(key);
        },
        [this] {
            // A download that the user starts in the page is theirs, once the timed step's own
            // load is over.
            if (m_unattendedLink.isEmpty())
                refuseDownloads(false);
            if (m_userActive)
                m_userActive();
        });
    binding->install();
    m_stepKeys = std::move(binding);
}

void ChromiumBrowser::watchPageLoads(std::function<void()> loaded)
{
    requireTarget();
    if (m_kind == Kind::Hidden)
        return;
    m_pageLoaded = std::move(loaded);
    // Counted from the step keys' set-up on, which comes before the first page; a load reported
    // while the browser is asked below reaches the listener instead.
    const bool loadedAlready = m_connection->loadEndCount(m_sessionId) > m_loadEndsBeforeNavigate;
    listenToPageEvents();
    if (loadedAlready && m_pageLoaded)
        m_pageLoaded();
}

void ChromiumBrowser::watchPassedOverDownloads(std::function<void(const QString& link)> passedOver)
{
    requireTarget();
    if (m_kind == Kind::Hidden)
        return;
    m_downloadPassedOver = std::move(passedOver);
    listenToPageEvents();
}

void ChromiumBrowser::listenToPageEvents()
{
    if (m_pageEventListenerId != 0)
        return;
    m_pageEventListenerId = m_connection->addEventListener(
        [this](const QJsonObject& event) { handlePageEvent(event); });
    m_connection->command(str("Page.enable"), {}, m_sessionId);
}

// The ends of the page's loads, and the download that a timed step's link answers with.
void ChromiumBrowser::handlePageEvent(const QJsonObject& event)
{
    if (event.value(str("sessionId")).toString() != m_sessionId)
        return;
    const QString method = event.value(str("method")).toString();
    const QJsonObject params = event.value(str("params")).toObject();
    if (method == QLatin1String("Page.downloadWillBegin") && !m_unattendedLink.isEmpty() &&
        !m_connection->isSubframe(params.value(str("frameId")).toString())) {
        passOverDownload();
        return;
    }
    if (method == QLatin1String("Page.loadEventFired"))
        endUnattended();
    if (m_pageLoaded && m_connection->endsPageLoad(method, params))
        m_pageLoaded();
}

// The timed step's page has come (or the user asked for another): downloads are the user's.
void ChromiumBrowser::endUnattended()
{
    m_unattendedLink.clear();
    refuseDownloads(false);
}

// The browser refuses the timed step's download itself, from before the step until its page has
// come or the user takes over: a download cancelled only once it is reported may be saved whole
// by then. The setting holds for the whole profile, so it is given back as soon as it may be.
void ChromiumBrowser::refuseDownloads(bool refuse)
{
    if (refuse == m_refusingDownloads)
        return;
    m_refusingDownloads = refuse;
    try {
        m_connection->post(str("Browser.setDownloadBehavior"),
                           {{str("behavior"), refuse ? str("deny") : str("default")}});
    } catch (const Failure&) {
        // The browser is gone: the next operation meets it.
    }
}

void ChromiumBrowser::passOverDownload()
{
    const QString link = std::exchange(m_unattendedLink, {});
    if (m_downloadPassedOver)
        m_downloadPassedOver(link);
}

void ChromiumBrowser::watchLoadEvents()
{
    makeTarget();
    m_connection->command(str("Page.enable"), {}, m_sessionId);
}

bool ChromiumBrowser::waitForLoadEvent(int timeoutMs)
{
    return m_connection->waitUntil(
        [this] { return m_connection->loadEventCount(m_sessionId) > m_loadEventsBeforeNavigate; },
        timeoutMs);
}
