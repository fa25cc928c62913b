#include "browser/ahead/AheadBrowser.h"

#include "browser/Meanwhile.h"
#include "browser/NavigationUrl.h"
#include "browser/Str.h"
#include "browser/ahead/LoadAhead.h"
#include "browser/ahead/RunningBrowser.h"
#include "browser/devtools/DevToolsConnection.h"
#include "platform/Failure.h"

#include <QPointer>

AheadBrowser::AheadBrowser(std::shared_ptr<RunningBrowser> chromium)
    : m_chromium(std::move(chromium))
{}

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

// Its target's failures are the set-up's: the next operation that settles reports them.
void AheadBrowser::makeTarget()
{
    requireTarget();
    if (m_hiddenTargetId.isEmpty() && !m_making)
        startMaking();
    // Checked before the instance loads its first page.
    m_chromium->connection().settle();
}

// Every step is sent without waiting, so that it may start wherever the window's first page
// comes in; the load asked meanwhile goes once the guard has been answered without fault.
void AheadBrowser::startMaking()
{
    constexpr int failure = FailureNumber::CannotCreateObject;
    m_making = true;
    DevToolsConnection& connection = m_chromium->connection();
    const QPointer<AheadBrowser> alive(this);
    const auto attached = [this, alive, &connection](const QString& targetId,
                                                     const QJsonObject& result) {
        const QString sessionId = result.value(str("sessionId")).toString();
        if (sessionId.isEmpty())
            throw Failure(failure);
        if (!alive)
            return;
        m_hiddenTargetId = targetId;
        m_hiddenSessionId = sessionId;
        auto unanswered = std::make_shared<int>(0);
        m_chromium->ahead().guard().install(
            targetId, sessionId,
            [this, alive, &connection, sessionId, unanswered](const QString& method,
                                                              const QJsonObject& params) {
                ++*unanswered;
                connection.postChecked(method, params, sessionId, failure,
                                       [this, alive, unanswered](const QJsonObject&) {
                                           if (--*unanswered == 0 && alive)
                                               loadAskedMeanwhile();
                                       });
            });
    };
    connection.postChecked(
        str("Target.createTarget"), {{str("url"), str("about:blank")}, {str("hidden"), true}}, {},
        failure, [alive, &connection, attached](const QJsonObject& created) {
            const QString targetId = created.value(str("targetId")).toString();
            connection.noteTarget(targetId, str("other"));
            connection.postChecked(
                str("Target.attachToTarget"), {{str("targetId"), targetId}, {str("flatten"), true}},
                {}, failure,
                [targetId, attached](const QJsonObject& result) { attached(targetId, result); });
        });
}

void AheadBrowser::loadAskedMeanwhile()
{
    if (m_askedMeanwhile.isEmpty())
        return;
    meanwhile([this] {
        m_chromium->ahead().navigate(std::exchange(m_askedMeanwhile, {}), m_hiddenSessionId);
    });
}

void AheadBrowser::Navigate(const QString& url)
{
    requireTarget();
    const QString address = shownAddress(url);
    const QString load = isWorthLoadingAhead(address) ? address : str("about:blank");
    // Asked again while it waits, it may find the first page come meanwhile: that starts the
    // making, which the load then waits for. Made for another reason meanwhile, or told to quit,
    // it is not made when the page comes.
    const QPointer<AheadBrowser> alive(this);
    if (m_hiddenTargetId.isEmpty() && !m_making &&
        m_chromium->ahead().afterWindowPage([this, alive] {
            if (alive && !m_making && m_hiddenTargetId.isEmpty() && !m_askedMeanwhile.isEmpty())
                meanwhile([this] { startMaking(); });
        })) {
        m_askedMeanwhile = load;
        return;
    }
    m_askedMeanwhile.clear();
    makeTarget();
    m_chromium->ahead().navigate(load, m_hiddenSessionId);
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
    m_askedMeanwhile.clear();
    if (m_making)
        m_chromium->connection().settle();
    if (!m_hiddenTargetId.isEmpty())
        m_chromium->connection().command(str("Target.closeTarget"),
                                         {{str("targetId"), m_hiddenTargetId}});
}
