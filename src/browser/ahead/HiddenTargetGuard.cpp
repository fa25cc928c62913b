#include "browser/ahead/HiddenTargetGuard.h"

#include "browser/NavigationUrl.h"
#include "browser/Str.h"
#include "browser/ahead/FetchDocuments.h"
#include "browser/ahead/HiddenResponsePolicy.h"
#include "browser/ahead/KeptDocuments.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/page/PageLoads.h"

#include <QJsonArray>

namespace {
// Runs in every document of the hidden target before the page's own scripts.
const char* const silencingScript = R"js((() => {
  const media = HTMLMediaElement.prototype;
  const muted = Object.getOwnPropertyDescriptor(media, 'muted');
  const silence = (element) => muted.set.call(element, true);
  Object.defineProperty(media, 'muted', {
    configurable: true, get() { return muted.get.call(this); }, set() { silence(this); } });
  const play = media.play;
  media.play = function () { silence(this); return play.call(this); };
  const silenceAll = () => document.querySelectorAll('audio, video').forEach(silence);
  new MutationObserver(silenceAll).observe(document, { childList: true, subtree: true });
  document.addEventListener('play', (event) => {
    if (event.target instanceof HTMLMediaElement) silence(event.target);
  }, true);
  for (const name of ['AudioContext', 'webkitAudioContext']) {
    const Original = window[name];
    if (!Original) continue;
    Original.prototype.resume = function () { return Promise.resolve(); };
    window[name] = new Proxy(Original, { construct(target, args, newTarget) {
      const context = Reflect.construct(target, args, newTarget);
      context.suspend();
      return context;
    } });
  }
  if (window.speechSynthesis) window.speechSynthesis.speak = () => {};
})();)js";
} // namespace

HiddenTargetGuard::HiddenTargetGuard(DevToolsConnection& connection, KeptDocuments& kept,
                                     QObject* parent)
    : QObject(parent), m_connection(connection), m_kept(kept),
      m_bodies(connection, HiddenResponsePolicy::MaxDocumentBytes)
{
    connection.subscribe("Target.targetCreated", this, [this](const DevToolsEvent& event) {
        closePopup(event.params.value(str("targetInfo")).toObject());
    });
    connection.subscribe("Target.targetDestroyed", this, [this](const DevToolsEvent& event) {
        forgetTarget(event.text("targetId"));
    });
    for (const char* method :
         {"Fetch.requestPaused", "Page.javascriptDialogOpening", "Page.downloadWillBegin"}) {
        connection.subscribe(method, this, [this](const DevToolsEvent& event) {
            if (m_targetOfSession.contains(event.sessionId))
                handleSessionEvent(event);
        });
    }
}

void HiddenTargetGuard::install(const QString& targetId, const QString& sessionId, const Send& send)
{
    m_targets.insert(targetId);
    m_targetOfSession.insert(sessionId, targetId);
    for (const auto& [method, params] : PageLoads::watchCommands(false))
        send(method, params);
    send(str("Page.addScriptToEvaluateOnNewDocument"),
         {{str("source"), QString::fromUtf8(silencingScript)}});
    send(str("Fetch.enable"), FetchDocuments::pausingAt({FetchDocuments::Stage::Request,
                                                         FetchDocuments::Stage::Response}));
}

void HiddenTargetGuard::handleSessionEvent(const DevToolsEvent& event)
{
    const QString& method = event.method;
    const QJsonObject& params = event.params;
    const QString& sessionId = event.sessionId;
    if (method == QLatin1String("Fetch.requestPaused")) {
        // Paused before it is sent, or as its answer (or its network error) arrives.
        if (params.contains(str("responseStatusCode")) ||
            params.contains(str("responseErrorReason")))
            answerPausedResponse(params, sessionId);
        else
            askWithPurpose(params, sessionId);
    } else if (method == QLatin1String("Page.javascriptDialogOpening")) {
        m_connection.send(str("Page.handleJavaScriptDialog"), {{str("accept"), false}}, sessionId);
    } else if (method == QLatin1String("Page.downloadWillBegin")) {
        m_connection.send(str("Browser.cancelDownload"),
                          {{str("guid"), params.value(str("guid"))}});
    }
}

QString HiddenTargetGuard::purposeOf(const QString& url, const QString& windowAddress)
{
    return isPrerenderedFrom(windowAddress, url) ? str("prefetch;prerender") : str("prefetch");
}

void HiddenTargetGuard::askWithPurpose(const QJsonObject& params, const QString& sessionId)
{
    QJsonArray headers;
    // The page's own document only: its frames are the page's, as in a browser's prefetch.
    if (params.value(str("frameId")).toString() == m_targetOfSession.value(sessionId)) {
        const QJsonObject request = params.value(str("request")).toObject();
        headers = FetchDocuments::headersReplacing(
            request.value(str("headers")).toObject(),
            {{"Sec-Purpose", purposeOf(request.value(str("url")).toString(), m_windowAddress)}});
    }
    FetchDocuments::goOn(m_connection, sessionId, params.value(str("requestId")), headers);
}

void HiddenTargetGuard::answerPausedResponse(const QJsonObject& params, const QString& sessionId)
{
    const QJsonValue requestId = params.value(str("requestId"));
    const QJsonObject request{{str("requestId"), requestId}};
    if (!params.contains(str("responseStatusCode"))) {
        // A network error: nothing arrived that could be saved or played.
        FetchDocuments::goOn(m_connection, sessionId, requestId);
        return;
    }
    const int status = params.value(str("responseStatusCode")).toInt();
    const QJsonArray headers = params.value(str("responseHeaders")).toArray();
    const bool mainFrame =
        params.value(str("frameId")).toString() == m_targetOfSession.value(sessionId);
    if (mainFrame &&
        (HiddenResponsePolicy::declinesLoadingAhead(status) || status == 204 || status == 205)) {
        // The site said no to the load ahead, as browsers' prefetch and prerender take any
        // error status, or gave it nothing to show: nothing of it loads, and an older copy of the
        // address goes too. The browser's cache took the answer before it reached here; the
        // window's step asks the site past it.
        m_kept.decline(params.value(str("request")).toObject().value(str("url")).toString());
        FetchDocuments::fail(m_connection, sessionId, requestId, str("BlockedByClient"));
        return;
    }
    if (HiddenResponsePolicy::isRedirect(status)) {
        // A redirect to mailto:, a custom protocol or a file would hand the address to the
        // desktop or show what nobody asked for; only the web is loaded ahead.
        if (HiddenResponsePolicy::redirectLeavesTheWeb(headers))
            FetchDocuments::fail(m_connection, sessionId, requestId, str("BlockedByClient"));
        else
            m_connection.send(str("Fetch.continueResponse"), request, sessionId);
        return;
    }
    if (status == 204 || status == 205) {
        // No document for a frame: the page on show stays.
        m_connection.send(str("Fetch.continueResponse"), request, sessionId);
        return;
    }
    if (HiddenResponsePolicy::mayLoad(status, headers) &&
        !HiddenResponsePolicy::isTooLargeToHold(headers)) {
        loadAsPrefetch(params, sessionId);
        return;
    }
    FetchDocuments::fail(m_connection, sessionId, requestId, str("BlockedByClient"));
}

void HiddenTargetGuard::loadAsPrefetch(const QJsonObject& params, const QString& sessionId)
{
    // Loaded as a no-state prefetch: the document and what it names, no script in it or its
    // frames (sandbox flags pass down to every frame), no popup, no download, no external
    // protocol. allow-same-origin keeps the page's origin, so that what it loads lands in the
    // cache partition that the visible window reads. The policy is given with the whole
    // document (Fetch.fulfillRequest): a header only added to the response as it continues is
    // not enforced by the browser.
    const QJsonValue requestId = params.value(str("requestId"));
    const QJsonArray headers = params.value(str("responseHeaders")).toArray();
    const QJsonObject request = params.value(str("request")).toObject();
    FetchDocuments::Response response{params.value(str("responseStatusCode")).toInt(),
                                      params.value(str("responseStatusText")).toString(),
                                      HiddenResponsePolicy::sandboxedHeaders(headers),
                                      {}};
    const bool mainFrame =
        params.value(str("frameId")).toString() == m_targetOfSession.value(sessionId);
    // A new document of the target: what the one before still had in flight is moot.
    if (mainFrame)
        m_bodies.abandon(sessionId);
    // The body comes as a stream, decoded, within a bound: a document that runs past it is not
    // loaded ahead (the window loads it from the network when it is shown), nor one that did not
    // arrive whole (nothing is shown rather than an unguarded page).
    auto onBody = [this, requestId, headers, request, response, sessionId,
                   mainFrame](std::optional<QByteArray> body) mutable {
        if (!body) {
            FetchDocuments::fail(m_connection, sessionId, requestId, str("BlockedByClient"));
            return;
        }
        response.body = std::move(*body);
        // The document as the server sent it, for the visible window's navigation to it.
        if (mainFrame)
            m_kept.keep(request.value(str("url")).toString(),
                        request.value(str("method")).toString(), response.status, response.phrase,
                        headers, response.body);
        FetchDocuments::fulfil(m_connection, sessionId, requestId, response);
    };
    m_bodies.read(sessionId, requestId, std::move(onBody));
}

void HiddenTargetGuard::closePopup(const QJsonObject& targetInfo)
{
    if (m_targets.contains(targetInfo.value(str("openerId")).toString()))
        m_connection.send(str("Target.closeTarget"),
                          {{str("targetId"), targetInfo.value(str("targetId"))}});
}

void HiddenTargetGuard::forgetTarget(const QString& targetId)
{
    if (!m_targets.remove(targetId))
        return;
    for (auto it = m_targetOfSession.begin(); it != m_targetOfSession.end();) {
        if (it.value() == targetId) {
            m_bodies.abandon(it.key());
            it = m_targetOfSession.erase(it);
        } else
            ++it;
    }
}
