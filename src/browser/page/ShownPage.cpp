#include "browser/page/ShownPage.h"

#include "browser/Str.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/page/PageLoads.h"
#include "log/StepTrace.h"
#include "platform/Failure.h"

#include <QJsonArray>

ShownPage::ShownPage(DevToolsConnection& connection, PageLoads& loads, QString targetId,
                     QString sessionId, QString url, QObject* parent)
    : QObject(parent), m_connection(connection), m_loads(loads), m_targetId(std::move(targetId)),
      m_sessionId(std::move(sessionId)), m_url(std::move(url))
{
    connect(&loads, &PageLoads::ended, this,
            [this](const QString& sessionId, const QString& frameId) {
                if (sessionId != m_sessionId)
                    return;
                if (!frameId.isEmpty())
                    m_frameId = frameId;
                emit loaded(frameId);
            });
    m_connection.subscribe("Target.targetInfoChanged", this, [this](const DevToolsEvent& event) {
        // Reported as each page of the window comes, after its request.
        const QJsonObject info = event.params.value(str("targetInfo")).toObject();
        if (info.value(str("targetId")).toString() == m_targetId)
            m_url = info.value(str("url")).toString();
    });
    m_connection.subscribe("Target.targetCrashed", this, [this](const DevToolsEvent& event) {
        if (event.text("targetId") == m_targetId)
            emit rendererGone();
    });
    m_connection.subscribe("Target.targetDestroyed", this, [this](const DevToolsEvent& event) {
        if (event.text("targetId") == m_targetId)
            emit closed();
    });
    for (const char* method : {"Page.lifecycleEvent", "Page.frameNavigated"}) {
        m_connection.subscribe(method, this, [this](const DevToolsEvent& event) {
            if (event.sessionId != m_sessionId || m_loads.isSubframe(event.text("frameId")))
                return;
            const bool restored = event.text("type") == QLatin1String("BackForwardCacheRestore") &&
                                  event.ofMainFrame();
            if (event.text("name") == QLatin1String("firstPaint") || restored)
                emit painted();
        });
    }
    if (!StepTrace::enabled())
        return;
    for (const char* method :
         {"Page.lifecycleEvent", "Page.frameNavigated", "Page.backForwardCacheNotUsed"})
        m_connection.subscribe(method, this, [this](const DevToolsEvent& event) { trace(event); });
}

void ShownPage::replace(const QString& targetId, const QString& sessionId, const QString& url)
{
    m_targetId = targetId;
    m_sessionId = sessionId;
    m_url = url;
    emit replaced();
}

void ShownPage::trace(const DevToolsEvent& event) const
{
    if (event.sessionId != m_sessionId || m_loads.isSubframe(event.text("frameId")))
        return;
    if (event.method == QLatin1String("Page.lifecycleEvent")) {
        // The browser's own time of the event, on the same monotonic clock.
        StepTrace::mark(qPrintable(event.text("name")),
                        event.params.value(str("timestamp")).toDouble() * 1e3);
    } else if (event.method == QLatin1String("Page.frameNavigated")) {
        if (event.ofMainFrame())
            StepTrace::mark(qPrintable(str("navigated:") + event.text("type")));
    } else {
        QStringList reasons;
        for (const QJsonValue reason : event.params.value(str("notRestoredExplanations")).toArray())
            reasons << reason.toObject().value(str("reason")).toString();
        StepTrace::mark(qPrintable(str("history-not-restored:") + reasons.join(QLatin1Char(','))));
    }
}

ShownPage::Tab ShownPage::attachTab(DevToolsConnection& connection, const QString& tabId)
{
    constexpr int failure = FailureNumber::CannotCreateObject;
    Tab tab{connection.attach(tabId, failure), {}, {}};
    QObject attaching; // the subscription ends with the attaching
    connection.subscribe("Target.attachedToTarget", &attaching, [&tab](const DevToolsEvent& event) {
        const QJsonObject info = event.params.value(str("targetInfo")).toObject();
        if (tab.sessionId.isEmpty() && event.sessionId == tab.sessionOfTab &&
            info.value(str("type")).toString() == QLatin1String("page")) {
            tab.targetId = info.value(str("targetId")).toString();
            tab.sessionId = event.text("sessionId");
        }
    });
    // Every later page of the tab (the browser's prerenders) waits until it is set up. A refusal
    // fails at once: the page that it would have reported never comes.
    const auto asked = connection.ask(
        str("Target.setAutoAttach"),
        {{str("autoAttach"), true}, {str("waitForDebuggerOnStart"), true}, {str("flatten"), true}},
        tab.sessionOfTab, DevToolsConnection::ReplyTimeoutMs);
    const bool attached = asked && DevToolsConnection::succeeded(*asked) &&
                          connection.waitUntil([&tab] { return !tab.sessionId.isEmpty(); },
                                               DevToolsConnection::ReplyTimeoutMs);
    if (!attached)
        throw Failure(failure);
    connection.noteTarget(tab.targetId, str("page"));
    return tab;
}
