#include "browser/ahead/KeptDocumentServer.h"

#include "browser/Str.h"
#include "browser/ahead/FetchDocuments.h"
#include "browser/ahead/KeptDocuments.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/page/PageLoads.h"
#include "browser/page/ShownPage.h"
#include "log/StepTrace.h"

#include <QJsonArray>
#include <QTimer>

namespace {
// A reload (and a hard reload) asks the server again: the browser sends Cache-Control (max-age=0
// or no-cache) or Pragma with it, a plain navigation does not.
bool isReload(const QJsonObject& requestHeaders)
{
    for (auto it = requestHeaders.begin(); it != requestHeaders.end(); ++it) {
        if (it.key().compare(QLatin1String("cache-control"), Qt::CaseInsensitive) == 0 ||
            it.key().compare(QLatin1String("pragma"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The cookies of an answer to Network.getCookies; nothing when the browser refused.
std::optional<KeptDocuments::Cookies> cookieStateOf(const QJsonObject& reply)
{
    if (!DevToolsConnection::succeeded(reply))
        return std::nullopt;
    return KeptDocuments::cookieState(
        reply.value(str("result")).toObject().value(str("cookies")).toArray());
}
} // namespace

KeptDocumentServer::KeptDocumentServer(DevToolsConnection& connection, PageLoads& loads,
                                       KeptDocuments& documents, QObject* parent)
    : QObject(parent), m_connection(connection), m_loads(loads), m_documents(documents)
{
    connection.subscribe("Target.detachedFromTarget", this, [this](const DevToolsEvent& event) {
        const QString sessionId = event.text("sessionId");
        m_prerenderSessions.remove(sessionId);
        m_prerenderedUrls.remove(sessionId);
    });
    connection.subscribe("Fetch.requestPaused", this,
                         [this](const DevToolsEvent& event) { paused(event); });
}

QString KeptDocumentServer::windowSession() const
{
    return m_page ? m_page->sessionId() : QString();
}

void KeptDocumentServer::serveWindow(ShownPage& page)
{
    m_page = &page;
    connect(&page, &ShownPage::replaced, this, &KeptDocumentServer::showReplacedPage);
    connect(&page, &ShownPage::leaving, this, &KeptDocumentServer::windowLeaves);
    connect(&page, &ShownPage::loaded, this, &KeptDocumentServer::windowLoaded);
    m_documents.setKeptHandler([this](const QString& url) { noteCookies(url); });
}

void KeptDocumentServer::pauseWindowRequests()
{
    if (!std::exchange(m_windowPaused, true))
        enableWindowFetch();
}

void KeptDocumentServer::passOverFailures(std::function<void(const QString& why)> failed)
{
    const bool changed = bool(failed) != bool(m_stepFailed);
    m_stepFailed = std::move(failed);
    if (changed)
        enableWindowFetch();
}

void KeptDocumentServer::enableWindowFetch()
{
    using FetchDocuments::Stage;
    if (!m_page || !m_windowPaused)
        return;
    m_connection.send(str("Fetch.enable"),
                      m_stepFailed ? FetchDocuments::pausingAt({Stage::Request, Stage::Response})
                                   : FetchDocuments::pausingAt({Stage::Request}),
                      windowSession());
}

void KeptDocumentServer::servePrerender(const QString& sessionId)
{
    m_prerenderSessions.insert(sessionId);
    m_connection.send(str("Fetch.enable"),
                      FetchDocuments::pausingAt({FetchDocuments::Stage::Request}), sessionId);
}

// The window's page is now an activated prerender.
void KeptDocumentServer::showReplacedPage()
{
    // Seen now: served once, as if the window's step had been answered with it.
    const QString sessionId = windowSession();
    const QString prerendered = m_prerenderedUrls.take(sessionId);
    m_prerenderSessions.remove(sessionId);
    if (prerendered.isEmpty())
        return;
    if (const auto document = m_documents.take(prerendered, str("GET")))
        shown(*document);
}

void KeptDocumentServer::shown(const KeptDocuments::Document& document)
{
    m_shownCopy = document;
    m_shownCopy->handedOut = true;
    ++m_shownGeneration;
}

// Checked as the page has stopped loading, and once more a moment later: the page left runs its
// `pagehide` handler as the new one comes, and its cookie writes reach the browser's store a
// moment after that.
void KeptDocumentServer::recheckShown(int generation, bool last)
{
    if (!m_shownCopy || generation != m_shownGeneration)
        return;
    const KeptDocuments::Cookies kept = m_shownCopy->cookies.value_or(KeptDocuments::Cookies{});
    const QString url = m_shownCopy->url;
    if (last)
        m_shownCopy.reset();
    const QString sessionId = windowSession();
    // Only cookies read that no longer answer call for the page anew: a question that the
    // browser refused (the page is going) is no news.
    askCookies(
        url, sessionId,
        [this, sessionId, generation, kept](const std::optional<KeptDocuments::Cookies>& now) {
            if (!now || KeptDocuments::stillAnswers(kept, *now, true) ||
                sessionId != windowSession() || generation != m_shownGeneration)
                return;
            m_shownCopy.reset();
            // The site answers the request as it is now: a reload is never served from a
            // copy.
            m_connection.send(str("Page.reload"), {}, sessionId);
        });
}

void KeptDocumentServer::windowLeaves(const QString& address)
{
    m_shownCopy.reset();
    ++m_shownGeneration;
    m_stepCookies.reset();
    const QString url = KeptDocuments::withoutFragment(address);
    const auto document = m_documents.find(url, str("GET"));
    if (!document || !document->cookies)
        return;
    auto step = std::make_shared<StepCookies>();
    step->url = url;
    m_stepCookies = step;
    askCookies(url, windowSession(), [step](const std::optional<KeptDocuments::Cookies>& now) {
        step->answered = true;
        step->now = now;
        for (const CookiesThen& then : std::exchange(step->waiting, {}))
            then(now);
    });
}

// Asks the browser for the cookies that it would send for `url` now; `then` gets them, or
// nothing when the browser refused or cannot be asked.
void KeptDocumentServer::askCookies(const QString& url, const QString& sessionId, CookiesThen then)
{
    const int sent =
        m_connection.send(str("Network.getCookies"), {{str("urls"), QJsonArray{url}}}, sessionId,
                          [then](const QJsonObject& reply) { then(cookieStateOf(reply)); });
    if (sent == 0)
        then(std::nullopt);
}

// The cookies that the browser would send for `url` now, or nothing when it cannot be asked: those
// asked for as the window's step began, when it went there.
void KeptDocumentServer::cookiesOf(const QString& url, const QString& sessionId, CookiesThen then)
{
    const std::shared_ptr<StepCookies> step = m_stepCookies;
    if (step && sessionId == windowSession() && step->url == KeptDocuments::withoutFragment(url)) {
        if (step->answered)
            then(step->now);
        else
            step->waiting << std::move(then);
        return;
    }
    askCookies(url, sessionId, std::move(then));
}

// A copy on show has stopped loading: its cookies are checked now, and once more a moment later.
void KeptDocumentServer::windowLoaded(const QString& frameId)
{
    if (!m_shownCopy || frameId.isEmpty())
        return;
    const int generation = m_shownGeneration;
    recheckShown(generation, false);
    QTimer::singleShot(ShownRecheckMs, this,
                       [this, generation] { recheckShown(generation, true); });
}

void KeptDocumentServer::paused(const DevToolsEvent& event)
{
    const QString& sessionId = event.sessionId;
    const QJsonObject& params = event.params;
    const bool ofWindow = !sessionId.isEmpty() && sessionId == windowSession();
    if (!ofWindow && !m_prerenderSessions.contains(sessionId))
        return;
    if (ofWindow && !m_loads.isSubframe(event.text("frameId")))
        StepTrace::mark("paused");
    const bool prerender = sessionId != windowSession();
    const Request paused{sessionId, params.value(str("requestId")), prerender};
    if (params.contains(str("responseStatusCode")) || params.contains(str("responseErrorReason"))) {
        answered(paused, params);
        return;
    }
    const QJsonObject request = params.value(str("request")).toObject();
    const QString url = request.value(str("url")).toString();
    const QString method = request.value(str("method")).toString();
    if (m_loads.isSubframe(params.value(str("frameId")).toString())) {
        FetchDocuments::goOn(m_connection, sessionId, paused.requestId);
        return;
    }
    std::optional<KeptDocuments::Document> document;
    // The window goes elsewhere: what it showed before is no longer checked.
    if (!prerender)
        m_shownCopy.reset();
    if (!prerender && m_documents.takeDeclined(url, method)) {
        askAnew(paused, request.value(str("headers")).toObject());
        return;
    }
    if (!request.value(str("hasPostData")).toBool() &&
        !isReload(request.value(str("headers")).toObject()))
        document = prerender ? m_documents.find(url, method) : m_documents.take(url, method);
    // The address on show, asked for again, is a refresh: the copy loaded ahead of it is
    // older than the page on show.
    if (!document || !document->cookies ||
        (m_page &&
         KeptDocuments::withoutFragment(url) == KeptDocuments::withoutFragment(m_page->url()))) {
        refuse(paused);
        return;
    }
    const KeptDocuments::Document kept = *document;
    cookiesStill(url, sessionId, kept, [this, paused, kept](bool same) {
        if (same)
            serve(paused, kept);
        else
            refuse(paused);
    });
}

// A timed step's answer: an error page would stand on the screen until the next step, so a
// failed load is aborted, which the browser ends without showing anything.
void KeptDocumentServer::answered(const Request& request, const QJsonObject& params)
{
    const QString error = params.value(str("responseErrorReason")).toString();
    const int status = params.value(str("responseStatusCode")).toInt();
    const bool failed = !error.isEmpty() || status >= 500;
    if (request.prerender || !m_stepFailed || !failed ||
        m_loads.isSubframe(params.value(str("frameId")).toString())) {
        FetchDocuments::goOn(m_connection, request.sessionId, request.requestId);
        return;
    }
    FetchDocuments::fail(m_connection, request.sessionId, request.requestId, str("Aborted"));
    const auto failedStep = std::exchange(m_stepFailed, {});
    enableWindowFetch();
    failedStep(error.isEmpty() ? str("the server answered %1").arg(status) : error);
}

void KeptDocumentServer::serve(const Request& request, const KeptDocuments::Document& document)
{
    if (request.prerender) {
        m_prerenderedUrls.insert(request.sessionId, document.url);
        m_documents.handOut(document.url);
    } else {
        shown(document);
        StepTrace::mark("answered");
    }
    FetchDocuments::fulfil(m_connection, request.sessionId, request.requestId,
                           {document.status, document.statusText, document.headers, document.body});
}

void KeptDocumentServer::checkFresh(const QString& url, std::function<void(bool fresh)> then)
{
    const std::optional<KeptDocuments::Document> document = m_documents.find(url, str("GET"));
    if (!document || !document->cookies) {
        then(false);
        return;
    }
    cookiesStill(url, windowSession(), *document, std::move(then));
}

// Whether the cookies that the browser would send for `url` now still answer as the document's
// did; `then` gets the answer, false when the browser cannot be asked.
void KeptDocumentServer::cookiesStill(const QString& url, const QString& sessionId,
                                      const KeptDocuments::Document& document,
                                      std::function<void(bool)> then)
{
    const KeptDocuments::Cookies kept = document.cookies.value_or(KeptDocuments::Cookies{});
    const bool handedOut = document.handedOut;
    cookiesOf(url, sessionId,
              [kept, handedOut, then](const std::optional<KeptDocuments::Cookies>& now) {
                  then(now && KeptDocuments::stillAnswers(kept, *now, handedOut));
              });
}

// The window's own navigation goes to the network; a prerender that the copies cannot answer
// ends, and the step then loads the page as it would have without it.
void KeptDocumentServer::refuse(const Request& request)
{
    if (request.prerender) {
        FetchDocuments::fail(m_connection, request.sessionId, request.requestId,
                             str("BlockedByClient"));
        return;
    }
    StepTrace::mark("answered");
    FetchDocuments::goOn(m_connection, request.sessionId, request.requestId);
}

// The site declined the load ahead of the address, and the browser's cache still holds that
// answer, which would leave the page before on show (a 204) or show an error page: the request
// goes to the site past the cache, as the browser's own cache bypass sends it, and its answer
// takes the place of the one cached.
void KeptDocumentServer::askAnew(const Request& request, const QJsonObject& requestHeaders)
{
    StepTrace::mark("answered");
    FetchDocuments::goOn(
        m_connection, request.sessionId, request.requestId,
        FetchDocuments::headersReplacing(
            requestHeaders, {{"Pragma", str("no-cache")}, {"Cache-Control", str("no-cache")}}));
}

// Asked at once: the cookies as the document's own response left them, before the user can
// change them.
void KeptDocumentServer::noteCookies(const QString& url)
{
    askCookies(url, windowSession(), [this, url](const std::optional<KeptDocuments::Cookies>& now) {
        if (now)
            m_documents.noteCookies(url, *now);
    });
}
