#include "browser/HiddenTargetGuard.h"

#include "browser/DevToolsPipe.h"
#include "browser/HiddenResponsePolicy.h"

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

QJsonObject documentResponses()
{
    return {
        {QStringLiteral("patterns"),
         QJsonArray{QJsonObject{{QStringLiteral("urlPattern"), QStringLiteral("*")},
                                {QStringLiteral("resourceType"), QStringLiteral("Document")},
                                {QStringLiteral("requestStage"), QStringLiteral("Response")}}}}};
}

bool succeeded(const std::optional<QJsonObject>& reply)
{
    return reply && reply->contains(QStringLiteral("result"));
}
} // namespace

bool HiddenTargetGuard::install(const QString& targetId, const QString& sessionId, int timeoutMs)
{
    m_targets.insert(targetId);
    m_targetOfSession.insert(sessionId, targetId);
    const QJsonObject script{{QStringLiteral("source"), QString::fromUtf8(silencingScript)}};
    return succeeded(m_pipe.call(QStringLiteral("Page.enable"), {}, sessionId, timeoutMs)) &&
           succeeded(m_pipe.call(QStringLiteral("Page.addScriptToEvaluateOnNewDocument"), script,
                                 sessionId, timeoutMs)) &&
           succeeded(m_pipe.call(QStringLiteral("Fetch.enable"), documentResponses(), sessionId,
                                 timeoutMs));
}

void HiddenTargetGuard::handleEvent(const QJsonObject& event)
{
    const QString method = event.value(QStringLiteral("method")).toString();
    const QJsonObject params = event.value(QStringLiteral("params")).toObject();
    const QString sessionId = event.value(QStringLiteral("sessionId")).toString();
    if (method == QLatin1String("Target.targetCreated"))
        closePopup(params.value(QStringLiteral("targetInfo")).toObject());
    else if (method == QLatin1String("Target.targetDestroyed"))
        forgetTarget(params.value(QStringLiteral("targetId")).toString());
    else if (m_targetOfSession.contains(sessionId))
        handleSessionEvent(method, params, sessionId);
}

void HiddenTargetGuard::handleSessionEvent(const QString& method, const QJsonObject& params,
                                           const QString& sessionId)
{
    if (method == QLatin1String("Fetch.requestPaused")) {
        answerPausedResponse(params, sessionId);
    } else if (method == QLatin1String("Page.javascriptDialogOpening")) {
        m_pipe.send(QStringLiteral("Page.handleJavaScriptDialog"),
                    {{QStringLiteral("accept"), false}}, sessionId);
    } else if (method == QLatin1String("Page.downloadWillBegin")) {
        m_pipe.send(QStringLiteral("Browser.cancelDownload"),
                    {{QStringLiteral("guid"), params.value(QStringLiteral("guid"))}});
    }
}

void HiddenTargetGuard::answerPausedResponse(const QJsonObject& params, const QString& sessionId)
{
    const QJsonObject request{
        {QStringLiteral("requestId"), params.value(QStringLiteral("requestId"))}};
    if (!params.contains(QStringLiteral("responseStatusCode"))) {
        // A network error: nothing arrived that could be saved or played.
        m_pipe.send(QStringLiteral("Fetch.continueRequest"), request, sessionId);
        return;
    }
    const int status = params.value(QStringLiteral("responseStatusCode")).toInt();
    const QJsonArray headers = params.value(QStringLiteral("responseHeaders")).toArray();
    if (HiddenResponsePolicy::mayLoad(status, headers)) {
        m_pipe.send(QStringLiteral("Fetch.continueResponse"), request, sessionId);
        return;
    }
    QJsonObject refusal = request;
    refusal.insert(QStringLiteral("errorReason"), QStringLiteral("BlockedByClient"));
    m_pipe.send(QStringLiteral("Fetch.failRequest"), refusal, sessionId);
}

void HiddenTargetGuard::closePopup(const QJsonObject& targetInfo)
{
    if (!m_targets.contains(targetInfo.value(QStringLiteral("openerId")).toString()))
        return;
    m_pipe.send(QStringLiteral("Target.closeTarget"),
                {{QStringLiteral("targetId"), targetInfo.value(QStringLiteral("targetId"))}});
}

void HiddenTargetGuard::forgetTarget(const QString& targetId)
{
    if (!m_targets.remove(targetId))
        return;
    for (auto it = m_targetOfSession.begin(); it != m_targetOfSession.end();) {
        if (it.value() == targetId)
            it = m_targetOfSession.erase(it);
        else
            ++it;
    }
}
