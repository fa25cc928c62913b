#include "browser/ahead/AheadBrowser.h"

#include "browser/NavigationUrl.h"
#include "browser/Str.h"
#include "browser/ahead/LoadAhead.h"
#include "browser/chromium/RunningChromium.h"
#include "browser/devtools/DevToolsConnection.h"
#include "platform/Failure.h"

AheadBrowser::AheadBrowser(std::shared_ptr<RunningChromium> chromium)
    : m_chromium(std::move(chromium))
{}

AheadBrowser::~AheadBrowser() = default;

DevToolsConnection& AheadBrowser::connection()
{
    return m_chromium->connection();
}

void AheadBrowser::requireTarget() const
{
    // Not made yet, it is there as long as its browser is.
    DevToolsConnection& connection = m_chromium->connection();
    const bool there =
        m_hiddenTargetId.isEmpty() ? connection.isAlive() : connection.hasTarget(m_hiddenTargetId);
    if (!there)
        throw Failure(FailureNumber::ObjectDisconnected);
}

void AheadBrowser::makeTarget()
{
    requireTarget();
    if (!m_hiddenTargetId.isEmpty())
        return;
    constexpr int failure = FailureNumber::CannotCreateObject;
    DevToolsConnection& connection = m_chromium->connection();
    const QJsonObject created =
        connection.command(str("Target.createTarget"),
                           {{str("url"), str("about:blank")}, {str("hidden"), true}}, {}, failure);
    const QString targetId = created.value(str("targetId")).toString();
    connection.noteTarget(targetId, str("other"));
    const QString sessionId = connection.attach(targetId, failure);
    // Checked before the instance loads its first page: Navigate() settles first.
    m_chromium->ahead().guard().install(
        targetId, sessionId,
        [&connection, &sessionId](const QString& method, const QJsonObject& params) {
            connection.postChecked(method, params, sessionId, failure);
        });
    m_hiddenTargetId = targetId;
    m_hiddenSessionId = sessionId;
}

void AheadBrowser::Navigate(const QString& url)
{
    makeTarget();
    DevToolsConnection& connection = m_chromium->connection();
    // A hidden target whose guard is not in place loads nothing.
    connection.settle();
    m_loadEventsBeforeNavigate = connection.loadEventCount(m_hiddenSessionId);
    const QString address = shownAddress(url);
    m_chromium->ahead().navigate(isWorthLoadingAhead(address) ? address : str("about:blank"),
                                 m_hiddenSessionId);
}

QString AheadBrowser::LocationURL()
{
    makeTarget();
    const QJsonObject reply = m_chromium->connection().command(
        str("Target.getTargetInfo"), {{str("targetId"), m_hiddenTargetId}});
    return reply.value(str("targetInfo")).toObject().value(str("url")).toString();
}

void AheadBrowser::Quit()
{
    requireTarget();
    if (!m_hiddenTargetId.isEmpty())
        m_chromium->connection().command(str("Target.closeTarget"),
                                         {{str("targetId"), m_hiddenTargetId}});
}

void AheadBrowser::watchLoadEvents()
{
    makeTarget();
    m_chromium->connection().command(str("Page.enable"), {}, m_hiddenSessionId);
}

bool AheadBrowser::waitForLoadEvent(int timeoutMs)
{
    DevToolsConnection& connection = m_chromium->connection();
    return m_chromium->ahead().waitUntil(
        [&] { return connection.loadEventCount(m_hiddenSessionId) > m_loadEventsBeforeNavigate; },
        timeoutMs);
}
