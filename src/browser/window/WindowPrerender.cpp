#include "browser/window/WindowPrerender.h"

#include "browser/Str.h"
#include "browser/ahead/KeptDocumentServer.h"
#include "browser/ahead/KeptDocuments.h"
#include "browser/ahead/LoadAhead.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/page/PageLoads.h"
#include "browser/page/ShownPage.h"
#include "browser/window/WindowNavigation.h"
#include "log/StepTrace.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>

namespace {
const char* const worldName = "quillon-next-link";

// %1: the next link as a script string, or ''. Answers the address that the rules are for, ''
// when there are none. Only a web page of the page's own origin other than the page itself.
// Rules placed from another world go too.
const char* const rulesScript = R"js(((next) => {
  for (const old of document.querySelectorAll('script[data-quillon-next-link]'))
    old.remove();
  let url;
  try {
    url = new URL(next);
  } catch (e) {
    return '';
  }
  const shown = new URL(location.href);
  if (!/^https?:$/.test(url.protocol) || url.origin !== shown.origin ||
      url.href.split('#')[0] === shown.href.split('#')[0])
    return '';
  const rules = document.createElement('script');
  rules.type = 'speculationrules';
  rules.dataset.quillonNextLink = '';
  rules.textContent = JSON.stringify({prerender: [{source: 'list', urls: [url.href],
                                                   referrer_policy: 'no-referrer'}]});
  (document.head || document.documentElement).append(rules);
  // Not kept into the back-forward cache: a page brought back would prerender its old next
  // link at once, in the middle of being shown again.
  globalThis.addEventListener('pagehide', () => rules.remove(), {once: true});
  return url.href;
})(%1))js";

QString scriptString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}
} // namespace

WindowPrerender::WindowPrerender(DevToolsConnection& connection, ShownPage& page,
                                 QString tabSessionId, LoadAhead& ahead, QObject* parent)
    : QObject(parent), m_connection(connection), m_page(page),
      m_tabSessionId(std::move(tabSessionId)), m_ahead(ahead), m_watch(connection.clock().timer())
{
    m_watch->fired = [this] {
        m_watch->start(WatchIntervalMs);
        watch();
    };
    // The page on show has (another) document that is done loading: one that a link in it led
    // to, one back from the back-forward cache. Told before the handlers below, which prepare
    // the rules for it.
    connect(&m_page, &ShownPage::loaded, this, [this](const QString& frameId) {
        if (frameId.isEmpty())
            return;
        newDocument();
        m_settled = true;
    });
    // Also the hidden instance's loads: the next link's document may be kept now.
    connect(&m_page.loads(), &PageLoads::ended, this, [this] { prepare(); });
    m_connection.subscribe("Preload.prerenderStatusUpdated", this,
                           [this](const DevToolsEvent& event) {
                               if (event.sessionId == m_page.sessionId())
                                   statusUpdated(event.params);
                           });
    m_connection.subscribe("Target.attachedToTarget", this, [this](const DevToolsEvent& event) {
        if (event.sessionId == m_tabSessionId)
            attached(event.params);
    });
    m_connection.subscribe("Target.targetInfoChanged", this, [this](const DevToolsEvent& event) {
        const QJsonObject info = event.params.value(str("targetInfo")).toObject();
        const auto prerender = m_prerenders.find(info.value(str("targetId")).toString());
        if (prerender == m_prerenders.end())
            return;
        prerender->url = info.value(str("url")).toString();
        // The browser made it the tab's page.
        if (info.value(str("subtype")).toString().isEmpty())
            activate(prerender->targetId);
    });
    m_connection.subscribe("Target.detachedFromTarget", this, [this](const DevToolsEvent& event) {
        const QString targetId = event.text("targetId");
        // The page on show leaves the tab as its prerender takes its place, which is told just
        // after; no operation may find the window without a page in between.
        if (targetId == m_page.targetId() && m_prerenders.size() == 1)
            activate(m_prerenders.begin().key());
        else
            m_prerenders.remove(targetId);
    });
    m_connection.send(str("Preload.enable"), {}, m_page.sessionId());
}

std::optional<PrerenderActivation> WindowPrerender::activationFor(const QString& address) const
{
    if (m_world == 0 || address != m_rulesFor || !m_readyUrls.contains(m_rulesUrl))
        return std::nullopt;
    return PrerenderActivation{m_world, str("location.href = ") + scriptString(address)};
}

void WindowPrerender::leave()
{
    m_settled = false;
    newDocument();
}

void WindowPrerender::newDocument()
{
    ++m_generation;
    m_world = 0;
    m_watch->stop();
    m_rulesFor.clear();
    m_rulesUrl.clear();
    m_readyUrls.clear();
}

void WindowPrerender::attached(const QJsonObject& params)
{
    const QJsonObject info = params.value(str("targetInfo")).toObject();
    const QString targetId = info.value(str("targetId")).toString();
    const QString sessionId = params.value(str("sessionId")).toString();
    if (info.value(str("type")).toString() == QLatin1String("page") &&
        info.value(str("subtype")).toString() == QLatin1String("prerender")) {
        m_prerenders.insert(targetId, {targetId, sessionId, info.value(str("url")).toString()});
        emit starting(sessionId);
        m_connection.send(str("Preload.enable"), {}, sessionId);
    }
    // Whatever else the tab brings waits for nothing of ours.
    if (params.value(str("waitingForDebugger")).toBool())
        m_connection.send(str("Runtime.runIfWaitingForDebugger"), {}, sessionId);
}

void WindowPrerender::activate(const QString& targetId)
{
    const auto prerender = m_prerenders.find(targetId);
    if (prerender == m_prerenders.end())
        return;
    const Prerender shown = *prerender;
    m_prerenders.erase(prerender);
    StepTrace::mark("prerender:activated");
    // Its frame stops loading as it is shown, whether or not it had loaded whole before.
    leave();
    m_page.replace(shown.targetId, shown.sessionId, shown.url);
}

// The rules for the next link go in once the page on show has loaded (before, they would
// start a prerender that the step to this page ends) and the hidden instance has kept the
// link's document. Other rules, or none, replace them.
void WindowPrerender::prepare()
{
    if (!m_settled)
        return;
    QString next = m_ahead.aheadAddress();
    const std::optional<KeptDocuments::Document> copy =
        m_ahead.keptDocuments().find(next, str("GET"));
    if (!copy)
        next.clear();
    if (next == m_rulesFor)
        return;
    m_rulesFor = next;
    m_rulesUrl.clear();
    if (next.isEmpty())
        m_watch->stop();
    else
        m_watch->start(WatchIntervalMs);
    if (next.isEmpty() && m_world == 0)
        return;
    const int generation = m_generation;
    if (!copy || !copy->cookies) {
        placeRulesFor(next, generation);
        return;
    }
    // Only a copy that could still be shown is prerendered: one kept under other cookies (the
    // page on show logged out) would have its prerender ask the site for the page before the
    // watch ends it, its request not always paused in time to be refused, and the step would
    // ask again.
    const QPointer<WindowPrerender> self(this);
    m_ahead.keptDocumentServer().checkFresh(next, [self, next, generation](bool fresh) {
        if (!self || self->m_generation != generation || self->m_rulesFor != next)
            return;
        if (fresh) {
            self->placeRulesFor(next, generation);
            return;
        }
        self->m_ahead.keptDocuments().take(next, str("GET"));
        self->prepare();
    });
}

void WindowPrerender::placeRulesFor(const QString& next, int generation)
{
    if (m_world != 0) {
        placeRules(m_world, next, generation);
        return;
    }
    const QPointer<WindowPrerender> self(this);
    m_connection.send(
        str("Page.createIsolatedWorld"),
        {{str("frameId"), m_page.frameId()}, {str("worldName"), str(worldName)}},
        m_page.sessionId(), [self, next, generation](const QJsonObject& reply) {
            const int world =
                reply.value(str("result")).toObject().value(str("executionContextId")).toInt();
            if (!self || self->m_generation != generation || world == 0)
                return;
            self->m_world = world;
            self->placeRules(world, next, generation);
        });
}

// The copy that the rules stand for may have gone past its time, or the cookies that it answered
// changed (see KeptDocuments::stillAnswers): then the rules go, and with them the prerender.
void WindowPrerender::watch()
{
    const QString next = m_rulesFor;
    const std::optional<KeptDocuments::Document> copy =
        m_ahead.keptDocuments().find(next, str("GET"));
    if (!m_settled || !copy) {
        prepare();
        return;
    }
    if (!copy->cookies)
        return;
    const QPointer<WindowPrerender> self(this);
    m_ahead.keptDocumentServer().checkFresh(next, [self, next](bool fresh) {
        if (fresh || !self || self->m_rulesFor != next)
            return;
        self->m_ahead.keptDocuments().take(next, str("GET"));
        self->prepare();
    });
}

void WindowPrerender::placeRules(int world, const QString& next, int generation)
{
    const QPointer<WindowPrerender> self(this);
    m_connection.send(str("Runtime.evaluate"),
                      {{str("expression"), QString::fromUtf8(rulesScript).arg(scriptString(next))},
                       {str("contextId"), world},
                       {str("returnByValue"), true}},
                      m_page.sessionId(), [self, next, generation](const QJsonObject& reply) {
                          if (!self || self->m_generation != generation ||
                              self->m_rulesFor != next || !DevToolsConnection::succeeded(reply))
                              return;
                          self->m_rulesUrl =
                              KeptDocuments::withoutFragment(reply.value(str("result"))
                                                                 .toObject()
                                                                 .value(str("result"))
                                                                 .toObject()
                                                                 .value(str("value"))
                                                                 .toString());
                      });
}

void WindowPrerender::statusUpdated(const QJsonObject& params)
{
    const QString url = KeptDocuments::withoutFragment(
        params.value(str("key")).toObject().value(str("url")).toString());
    // Also before the answer that tells which address the rules are for.
    if (params.value(str("status")).toString() == QLatin1String("Ready"))
        m_readyUrls.insert(url);
    else
        m_readyUrls.remove(url);
}
