#include "browser/ChromiumConnection.h"

#include "browser/ChromiumProcess.h"
#include "browser/DevToolsPipe.h"
#include "browser/HiddenTargetGuard.h"
#include "browser/KeptDocumentServer.h"
#include "browser/KeptDocuments.h"
#include "browser/StepTrace.h"
#include "browser/Str.h"
#include "platform/Failure.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>

#include <algorithm>
#include <array>
#include <unistd.h>

namespace {
// A temporary profile is removed by a shell that waits for the browser, so that it goes also
// when the program itself is killed and never gets to clean up.
const char* const removeProfileAfterwards = "profile=$1; shift; \"$@\"; rm -rf -- \"$profile\"";

// The events that the program reads. Everything else that the browser reports (console output,
// exceptions, frames and requests, titles: pages decide their size) is dropped as it comes.
bool isReadEvent(QByteArrayView method)
{
    static constexpr std::array<QByteArrayView, 17> read{
        "Target.targetCreated",     "Target.targetDestroyed",       "Target.detachedFromTarget",
        "Target.targetInfoChanged", "Target.targetCrashed",         "Target.attachedToTarget",
        "Page.loadEventFired",      "Page.frameStoppedLoading",     "Page.javascriptDialogOpening",
        "Page.downloadWillBegin",   "Page.frameAttached",           "Page.frameDetached",
        "Fetch.requestPaused",      "Runtime.bindingCalled",        "Preload.prerenderStatusUpdated",
        "Page.frameNavigated",      "Page.javascriptDialogClosed"};
    // Read only while a step is traced for the benchmark.
    static constexpr std::array<QByteArrayView, 2> traced{"Page.lifecycleEvent",
                                                          "Page.backForwardCacheNotUsed"};
    return std::find(read.begin(), read.end(), method) != read.end() ||
           (StepTrace::enabled() && std::find(traced.begin(), traced.end(), method) != traced.end());
}
} // namespace

QStringList ChromiumConnection::browserArguments(const QString& profileDir)
{
    QStringList arguments{
        str("--remote-debugging-pipe"),
        str("--user-data-dir=") + profileDir,
        str("--no-first-run"),
        str("--no-default-browser-check"),
        str("--disable-background-networking"),
        str("--disable-component-update"),
        str("--disable-sync"),
        // A browser that ended with the program is not a crash to offer a restore for.
        str("--hide-crash-restore-bubble"),
        // No desktop keyring prompt for a profile that keeps no passwords of ours.
        str("--password-store=basic"),
        // Windows are placed by position, which only X11 (or XWayland) allows.
        str("--ozone-platform=x11"),
        // No window, no restored tab: the one window is created over the pipe, so that the
        // program's window is always the one it made (see openWindow()).
        str("--no-startup-window"),
        // One list: a second --disable-features would override the first.
        // - Prerender2FallbackPrefetchSpecRules: the browser's prerender of the window's next
        //   link asks for its document as any navigation does, where the copy loaded ahead
        //   answers it (see KeptDocumentServer), instead of fetching it ahead once more past
        //   the program.
        // - LimitCrossOriginNonActivatedPaintHolding: the browser keeps the page on show until
        //   the next has painted (for at most half a second) only within one origin, or when
        //   the user touched the page; every step is the user's, from the toolbar, so a page of
        //   another origin would come after a blank frame. The price: a site that sends the
        //   window on to another origin by itself keeps its picture up meanwhile too, as it
        //   may anyway once the user has clicked in it.
        str("--disable-features=Prerender2FallbackPrefetchSpecRules,"
            "LimitCrossOriginNonActivatedPaintHolding"),
    };
    // The browser's sandbox refuses to run as root; never given up otherwise.
    if (geteuid() == 0)
        arguments << str("--no-sandbox");
    return arguments;
}

std::shared_ptr<ChromiumConnection> ChromiumConnection::launch(const QString& executable,
                                                               const BrowserProfile& profile)
{
    return connect(startProcess(executable, profile), profile);
}

std::unique_ptr<ChromiumProcess> ChromiumConnection::startProcess(const QString& executable,
                                                                  const BrowserProfile& profile)
{
    // The first window that opens would otherwise restore the last session when the profile
    // asks for it (the user's "Continue where you left off"), start-up window or not.
    BrowserProfile::preventSessionRestore(profile.path());
    QString program = executable;
    QStringList arguments = browserArguments(profile.path());
    if (profile.isTemporary()) {
        arguments = QStringList{str("-c"), str(removeProfileAfterwards), str("quillon-browser"),
                                profile.path(), executable} +
                    arguments;
        program = str("/bin/sh");
    }
    // The browser keeps its crash reports beside the profile, not in the user's own browser's
    // configuration.
    const QStringList environment{str("CHROME_CONFIG_HOME=") + profile.path()};
    StepTrace::mark("launch");
    return std::make_unique<ChromiumProcess>(program, arguments, environment);
}

std::shared_ptr<ChromiumConnection>
ChromiumConnection::connect(std::unique_ptr<ChromiumProcess> process, const BrowserProfile& profile)
{
    const ChromiumProcess::Pipe pipe = process->takePipe();
    std::shared_ptr<ChromiumConnection> connection(
        new ChromiumConnection(std::move(process), profile, pipe.commandFd, pipe.eventFd));
    // Read by the browser as soon as it is up, before anything that creates a target.
    connection->postChecked(str("Target.setDiscoverTargets"), {{str("discover"), true}}, {},
                            FailureNumber::CannotCreateObject);
    return connection;
}

std::shared_ptr<ChromiumConnection> ChromiumConnection::overPipe(int commandFd, int eventFd,
                                                                 const BrowserProfile& profile)
{
    return std::shared_ptr<ChromiumConnection>(
        new ChromiumConnection(nullptr, profile, commandFd, eventFd));
}

ChromiumConnection::ChromiumConnection(std::unique_ptr<ChromiumProcess> process,
                                       BrowserProfile profile, int commandFd, int eventFd)
    : m_process(std::move(process)), m_profile(std::move(profile))
{
    m_pipe = std::make_unique<DevToolsPipe>(commandFd, eventFd);
    m_kept = std::make_unique<KeptDocuments>();
    m_guard = std::make_unique<HiddenTargetGuard>(*m_pipe, *m_kept);
    m_documentServer = std::make_unique<KeptDocumentServer>(*m_pipe, *m_kept, m_subframes);
    m_pipe->setEventHandler([this](const QJsonObject& event) { handleEvent(event); });
    m_pipe->setEventFilter(isReadEvent);
    m_firstPageTimer.setSingleShot(true);
    QObject::connect(&m_firstPageTimer, &QTimer::timeout, [this] { endFirstPageHold(); });
}

ChromiumConnection::~ChromiumConnection()
{
    // Closing the pipe ends the browser; the process waits a moment and kills what is left.
    m_pipe->close();
    m_process.reset();
    removeTemporaryProfile();
}

void ChromiumConnection::openWindow()
{
    constexpr int failure = FailureNumber::CannotCreateObject;
    // The browser started without a window; the program's window is the one it creates here,
    // never a tab that the profile brought back. Its answer comes once the browser is up. The
    // window is driven through its tab, which the browser allows to prerender.
    const auto created = m_pipe->call(
        str("Target.createTarget"),
        {{str("url"), str("about:blank")}, {str("newWindow"), true}, {str("forTab"), true}}, {},
        StartTimeoutMs);
    settle();
    if (!created || !DevToolsPipe::succeeded(*created))
        throw Failure(failure);
    m_windowTabId = created->value(str("result")).toObject().value(str("targetId")).toString();
    if (m_windowTabId.isEmpty())
        throw Failure(failure);
    StepTrace::mark("window");
}

std::pair<QString, QString> ChromiumConnection::attachWindow(int failureNumber)
{
    m_tabSessionId = attach(m_windowTabId, failureNumber);
    QString targetId;
    QString sessionId;
    const int listener = addEventListener([&](const QJsonObject& event) {
        const QJsonObject params = event.value(str("params")).toObject();
        const QJsonObject info = params.value(str("targetInfo")).toObject();
        if (sessionId.isEmpty() && event.value(str("sessionId")).toString() == m_tabSessionId &&
            event.value(str("method")).toString() == QLatin1String("Target.attachedToTarget") &&
            info.value(str("type")).toString() == QLatin1String("page")) {
            targetId = info.value(str("targetId")).toString();
            sessionId = params.value(str("sessionId")).toString();
        }
    });
    // Every later page of the tab (the browser's prerenders) waits until it is set up. A refusal
    // fails at once: the page that it would have reported never comes.
    const auto asked = m_pipe->call(
        str("Target.setAutoAttach"),
        {{str("autoAttach"), true}, {str("waitForDebuggerOnStart"), true}, {str("flatten"), true}},
        m_tabSessionId, ReplyTimeoutMs);
    const bool attached = asked && DevToolsPipe::succeeded(*asked) &&
                          waitUntil([&] { return !sessionId.isEmpty(); }, ReplyTimeoutMs);
    removeEventListener(listener);
    if (!attached)
        throw Failure(failureNumber);
    m_windowSessionId = sessionId;
    m_firstPageTargetId = targetId;
    m_typeOfTarget.insert(targetId, str("page"));
    return {targetId, sessionId};
}

void ChromiumConnection::followWindowPage(const QString& targetId, const QString& sessionId,
                                          const QString& url)
{
    m_windowSessionId = sessionId;
    m_documentServer->follow(targetId, sessionId, url);
}

void ChromiumConnection::servePrerender(const QString& sessionId)
{
    if (StepTrace::enabled()) {
        m_pipe->send(str("Page.enable"), {}, sessionId);
        m_pipe->send(str("Page.setLifecycleEventsEnabled"), {{str("enabled"), true}}, sessionId);
    }
    m_documentServer->servePrerender(sessionId);
}

bool ChromiumConnection::hasPageTarget() const
{
    for (auto it = m_typeOfTarget.begin(); it != m_typeOfTarget.end(); ++it) {
        if (it.value() == QLatin1String("page"))
            return true;
    }
    return false;
}

bool ChromiumConnection::isAlive() const
{
    return m_pipe->isOpen();
}

bool ChromiumConnection::hasTarget(const QString& targetId) const
{
    return isAlive() && m_typeOfTarget.contains(targetId);
}

std::pair<QString, QString> ChromiumConnection::createHiddenTarget(int failureNumber)
{
    const QJsonObject created =
        command(str("Target.createTarget"),
                {{str("url"), str("about:blank")}, {str("hidden"), true}}, {}, failureNumber);
    const QString targetId = created.value(str("targetId")).toString();
    // Known at once, whether or not its creation event has been read yet.
    m_typeOfTarget.insert(targetId, str("other"));
    const QString sessionId = attach(targetId, failureNumber);
    // Checked before the instance loads its first page: ChromiumBrowser::Navigate settles first.
    m_guard->install(targetId, sessionId,
                     [this, &sessionId, failureNumber](const QString& method,
                                                       const QJsonObject& params) {
                         postChecked(method, params, sessionId, failureNumber);
                     });
    return {targetId, sessionId};
}

QString ChromiumConnection::attach(const QString& targetId, int failureNumber)
{
    const QJsonObject attached =
        command(str("Target.attachToTarget"), {{str("targetId"), targetId}, {str("flatten"), true}},
                {}, failureNumber);
    QString sessionId = attached.value(str("sessionId")).toString();
    if (sessionId.isEmpty())
        throw Failure(failureNumber);
    return sessionId;
}

QJsonObject ChromiumConnection::command(const QString& method, const QJsonObject& params,
                                        const QString& sessionId, int failureNumber)
{
    settle();
    const auto reply = m_pipe->call(method, params, sessionId, ReplyTimeoutMs);
    if (!reply || !DevToolsPipe::succeeded(*reply))
        throw Failure(failureNumber);
    return reply->value(str("result")).toObject();
}

void ChromiumConnection::post(const QString& method, const QJsonObject& params,
                              const QString& sessionId)
{
    if (m_pipe->send(method, params, sessionId) == 0)
        throw Failure(FailureNumber::ObjectDisconnected);
}

void ChromiumConnection::post(const QString& method, const QJsonObject& params,
                              const QString& sessionId, ReplyHandler onReply)
{
    if (m_pipe->send(method, params, sessionId, std::move(onReply)) == 0)
        throw Failure(FailureNumber::ObjectDisconnected);
}

void ChromiumConnection::postChecked(const QString& method, const QJsonObject& params,
                                     const QString& sessionId, int failureNumber)
{
    postChecked(method, params, sessionId, failureNumber, nullptr);
}

void ChromiumConnection::postChecked(const QString& method, const QJsonObject& params,
                                     const QString& sessionId, int failureNumber,
                                     std::function<void(const QJsonObject& result)> then)
{
    const auto onReply = [this, then = std::move(then)](const QJsonObject& reply) {
        const int number = m_unsettled.take(reply.value(str("id")).toInt());
        int failed = DevToolsPipe::succeeded(reply) ? 0 : number;
        if (failed == 0 && then) {
            // Answers are read wherever the pipe is: nothing may leave this handler.
            try {
                then(reply.value(str("result")).toObject());
            } catch (const Failure& failure) {
                failed = failure.number();
            }
        }
        if (failed != 0 && m_setUpFailure == 0)
            m_setUpFailure = failed;
    };
    const int id = m_pipe->send(method, params, sessionId, onReply);
    if (id == 0)
        throw Failure(failureNumber);
    m_unsettled.insert(id, failureNumber);
}

void ChromiumConnection::settle()
{
    if (!m_unsettled.isEmpty() &&
        !m_pipe->waitUntil([this] { return m_unsettled.isEmpty(); }, ReplyTimeoutMs) &&
        m_setUpFailure == 0)
        m_setUpFailure = m_unsettled.first();
    if (m_setUpFailure != 0)
        throw Failure(m_setUpFailure);
}

bool ChromiumConnection::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    // A held navigation goes when its time comes, also while a caller waits.
    const QDeadlineTimer deadline(timeoutMs);
    while (holdsAheadForFirstPage()) {
        const qint64 held = m_firstPageTimer.remainingTime();
        const qint64 slice = deadline.isForever() ? held : qMin(deadline.remainingTime(), held);
        if (m_pipe->waitUntil(done, int(qMax<qint64>(slice, 0))))
            return true;
        if (!isAlive() || deadline.hasExpired())
            return done();
        if (m_firstPageTimer.remainingTime() == 0)
            endFirstPageHold();
    }
    return m_pipe->waitUntil(done, int(deadline.remainingTime()));
}

void ChromiumConnection::handleEvent(const QJsonObject& event)
{
    const QString method = event.value(str("method")).toString();
    const QJsonObject params = event.value(str("params")).toObject();
    if (holdsAheadForFirstPage())
        followFirstPage(method, params);
    if (endsPageLoad(method, params))
        ++m_loadEnds[event.value(str("sessionId")).toString()];
    if (method.startsWith(QLatin1String("Target.")))
        trackTarget(method, params);
    else if (method == QLatin1String("Page.loadEventFired"))
        ++m_loadEvents[event.value(str("sessionId")).toString()];
    else if (method == QLatin1String("Page.frameAttached") &&
             !params.value(str("parentFrameId")).toString().isEmpty())
        m_subframes.insert(params.value(str("frameId")).toString());
    else if (method == QLatin1String("Page.frameDetached") &&
             params.value(str("reason")).toString() != QLatin1String("swap"))
        m_subframes.remove(params.value(str("frameId")).toString());
    const bool ofWindow = StepTrace::enabled() &&
                          event.value(str("sessionId")).toString() == m_windowSessionId &&
                          !isSubframe(params.value(str("frameId")).toString());
    const bool windowDocumentPaused = ofWindow && method == QLatin1String("Fetch.requestPaused");
    if (windowDocumentPaused)
        StepTrace::mark("paused");
    else if (ofWindow)
        traceWindowEvent(method, params);
    m_guard->handleEvent(event);
    m_documentServer->handleEvent(event);
    if (windowDocumentPaused)
        StepTrace::mark("answered");
    // A copy: a listener may remove itself.
    const QMap<int, EventListener> listeners = m_listeners;
    for (const EventListener& listener : listeners)
        listener(event);
}

// An error page has a load event; a load that ends without a page (an answer without content,
// a download) has none, but the main frame stops loading all the same.
bool ChromiumConnection::endsPageLoad(const QString& method, const QJsonObject& params) const
{
    if (method == QLatin1String("Page.loadEventFired"))
        return true;
    return method == QLatin1String("Page.frameStoppedLoading") &&
           !isSubframe(params.value(str("frameId")).toString());
}

void ChromiumConnection::windowNavigating(const QString& address)
{
    m_guard->windowGoesTo(address);
    m_documentServer->windowLeaves();
    if (m_firstPage != FirstPage::NotAsked)
        return;
    m_firstPage = FirstPage::Asked;
    m_firstPageTimer.start(FirstPageHeadStartMs);
}

void ChromiumConnection::navigateAhead(const QString& url, const QString& sessionId)
{
    if (holdsAheadForFirstPage()) {
        if (!isAlive())
            throw Failure(FailureNumber::ObjectDisconnected);
        m_heldNavigations.insert(sessionId, url);
        return;
    }
    // The answer comes only when the server has answered; the toolbar does not wait for it.
    post(str("Page.navigate"), {{str("url"), url}}, sessionId);
}

// The blank page that the window was made with may still be loading when its first address is
// sent: only a stop after the window's address has moved on from it counts. A load that fails
// stops as well.
void ChromiumConnection::followFirstPage(const QString& method, const QJsonObject& params)
{
    // Its timer may be due while a caller waits on the pipe and no timer runs.
    if (m_firstPageTimer.remainingTime() == 0) {
        endFirstPageHold();
    } else if (method == QLatin1String("Target.targetInfoChanged")) {
        const QJsonObject info = params.value(str("targetInfo")).toObject();
        if (info.value(str("targetId")).toString() == m_firstPageTargetId &&
            info.value(str("url")).toString() != QLatin1String("about:blank"))
            m_firstPage = FirstPage::Committed;
    } else if (method == QLatin1String("Page.frameStoppedLoading")) {
        if (m_firstPage == FirstPage::Committed &&
            params.value(str("frameId")).toString() == m_firstPageTargetId)
            endFirstPageHold();
    } else if ((method == QLatin1String("Target.targetDestroyed") ||
                method == QLatin1String("Target.targetCrashed")) &&
               params.value(str("targetId")).toString() == m_firstPageTargetId) {
        endFirstPageHold();
    }
}

void ChromiumConnection::endFirstPageHold()
{
    m_firstPage = FirstPage::Loaded;
    m_firstPageTimer.stop();
    const QMap<QString, QString> held = std::exchange(m_heldNavigations, {});
    for (auto it = held.begin(); it != held.end(); ++it)
        m_pipe->send(str("Page.navigate"), {{str("url"), it.value()}}, it.key());
}

void ChromiumConnection::traceWindowEvent(const QString& method, const QJsonObject& params) const
{
    if (method == QLatin1String("Page.lifecycleEvent")) {
        // The browser's own time of the event, on the same monotonic clock.
        StepTrace::mark(qPrintable(params.value(str("name")).toString()),
                        params.value(str("timestamp")).toDouble() * 1e3);
    } else if (method == QLatin1String("Page.frameNavigated")) {
        if (params.value(str("frame")).toObject().value(str("parentId")).toString().isEmpty())
            StepTrace::mark(qPrintable(str("navigated:") + params.value(str("type")).toString()));
    } else if (method == QLatin1String("Page.backForwardCacheNotUsed")) {
        QStringList reasons;
        for (const QJsonValue reason : params.value(str("notRestoredExplanations")).toArray())
            reasons << reason.toObject().value(str("reason")).toString();
        StepTrace::mark(qPrintable(str("history-not-restored:") + reasons.join(QLatin1Char(','))));
    }
}

int ChromiumConnection::addEventListener(EventListener listener)
{
    // Assigned, not inserted: QMap::insert() would copy the callback.
    m_listeners[m_nextListenerId] = std::move(listener);
    return m_nextListenerId++;
}

void ChromiumConnection::serveKeptDocuments(const QString& targetId, const QString& sessionId)
{
    if (StepTrace::enabled()) {
        m_pipe->send(str("Page.enable"), {}, sessionId);
        m_pipe->send(str("Page.setLifecycleEventsEnabled"), {{str("enabled"), true}}, sessionId);
    }
    m_documentServer->install(targetId, sessionId);
}

void ChromiumConnection::trackTarget(const QString& method, const QJsonObject& params)
{
    if (method == QLatin1String("Target.targetCreated")) {
        const QJsonObject info = params.value(str("targetInfo")).toObject();
        m_typeOfTarget.insert(info.value(str("targetId")).toString(),
                              info.value(str("type")).toString());
    } else if (method == QLatin1String("Target.targetDestroyed")) {
        m_typeOfTarget.remove(params.value(str("targetId")).toString());
        // Started without a window, the browser would outlive its last one; it ends with it,
        // as a browser does when the user closes its last window.
        if (!m_windowTabId.isEmpty() && !hasPageTarget())
            m_pipe->send(str("Browser.close"));
    } else if (method == QLatin1String("Target.detachedFromTarget")) {
        // A session of ours that ends leaves its instance without a way to drive the target.
        m_typeOfTarget.remove(params.value(str("targetId")).toString());
    }
}

void ChromiumConnection::quit()
{
    if (m_pipe->isOpen()) {
        m_pipe->send(str("Browser.close"));
        // The browser closes its end once it has shut down.
        m_pipe->waitUntil([] { return false; }, ReplyTimeoutMs);
    }
    m_pipe->close();
    if (m_process) {
        m_process->waitForExit(ReplyTimeoutMs);
        // Helpers that outlive the browser's own process for a moment of their shutdown go now.
        m_process->kill();
    }
    removeTemporaryProfile();
}

pid_t ChromiumConnection::processGroup() const
{
    return m_process->pid();
}

void ChromiumConnection::removeTemporaryProfile()
{
    if (m_profile.isTemporary())
        QDir(m_profile.path()).removeRecursively();
}
