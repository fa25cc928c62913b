#include "browser/WindowNavigation.h"

#include "browser/ChromiumConnection.h"
#include "browser/DevToolsPipe.h"
#include "browser/KeptDocumentServer.h"
#include "browser/Meanwhile.h"
#include "browser/StepTrace.h"
#include "browser/Str.h"

WindowNavigation::WindowNavigation(ChromiumConnection& connection, QString targetId,
                                   QString sessionId)
    : m_connection(connection), m_targetId(std::move(targetId)), m_sessionId(std::move(sessionId)),
      m_self(std::make_shared<WindowNavigation*>(this))
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { meanwhile([this] { timedOut(); }); });
    m_listenerId =
        m_connection.addEventListener([this](const QJsonObject& event) { handleEvent(event); });
}

WindowNavigation::~WindowNavigation()
{
    *m_self = nullptr;
    m_connection.removeEventListener(m_listenerId);
}

void WindowNavigation::navigate(const QString& address,
                                const std::optional<PrerenderActivation>& activation)
{
    start(address, 0, activation);
}

void WindowNavigation::navigateToHistoryEntry(int entryId, const QString& address)
{
    start(address, entryId);
}

void WindowNavigation::start(const QString& address, int historyEntry,
                             const std::optional<PrerenderActivation>& activation)
{
    m_address = address;
    m_historyEntry = historyEntry;
    // A renderer that is gone has nothing to hold the step; the browser starts a new one. Nor
    // has the blank page that the window was made with, before its first address.
    if (m_rendererGone || m_sent == 0) {
        go();
        return;
    }
    // Already ending the page on show: the address goes as soon as it is gone.
    if (m_state == State::Ending)
        return;
    // While an earlier question is unanswered the page has held the window since then: the
    // time runs from that question, so that steps in quick succession cannot put off the end.
    if (m_state == State::Idle || m_state == State::Activating) {
        ++m_round;
        m_state = State::Asking;
        m_timer.start(AnswerTimeoutMs);
    }
    if (!activation) {
        ask(std::nullopt);
        return;
    }
    // A prerender shows the copy loaded ahead as it came, however long ago: only while that copy
    // could still be served to the window (within its time, with the cookies it was kept with).
    const std::weak_ptr<WindowNavigation*> self = m_self;
    const int round = m_round;
    m_connection.keptDocumentServer().checkFresh(
        address, [self, round, address, activation](bool fresh) {
            const auto alive = self.lock();
            if (!alive || !*alive || (*alive)->m_state != State::Asking ||
                (*alive)->m_round != round || (*alive)->m_address != address)
                return;
            meanwhile([&] { (*alive)->ask(fresh ? activation : std::nullopt); });
        });
}

void WindowNavigation::ask(const std::optional<PrerenderActivation>& activation)
{
    // Answered only when the page's main thread takes its next task, as the commit of a
    // navigation to the same site must; so is the page's own navigation to a prerender.
    const std::weak_ptr<WindowNavigation*> self = m_self;
    const int round = m_round;
    QJsonObject question{{str("expression"), str("0")}};
    QString activated;
    if (activation) {
        question = {{str("expression"), activation->expression},
                    {str("contextId"), activation->worldId}};
        activated = m_address;
        StepTrace::mark("navigate");
        StepTrace::mark("prerender:activate");
    }
    m_connection.post(
        str("Runtime.evaluate"), question, m_sessionId,
        [self, round, activated](const QJsonObject& reply) {
            const auto alive = self.lock();
            // A world that is gone (its page left meanwhile) is an answer too.
            if (alive && *alive && (DevToolsPipe::succeeded(reply) || !activated.isEmpty()))
                meanwhile([&] {
                    (*alive)->pageAnswered(round,
                                           DevToolsPipe::succeeded(reply) ? activated : QString());
                });
        });
}

void WindowNavigation::pageAnswered(int round, const QString& activated)
{
    if (m_state != State::Asking || round != m_round)
        return;
    // Asked for the prerender of the address still wanted: the browser shows it now.
    if (!activated.isEmpty() && activated == m_address && m_historyEntry == 0) {
        m_state = State::Activating;
        m_timer.start(AnswerTimeoutMs);
        return;
    }
    go();
}

void WindowNavigation::follow(const QString& targetId, const QString& sessionId)
{
    m_targetId = targetId;
    m_sessionId = sessionId;
    m_rendererGone = false;
    if (m_state == State::Activating) {
        m_state = State::Idle;
        m_timer.stop();
    }
}

void WindowNavigation::timedOut()
{
    if (m_state == State::Asking)
        endRenderer();
    else if (m_state == State::Ending || m_state == State::Activating)
        go(); // Not reported in time: the step goes on regardless.
}

void WindowNavigation::endRenderer()
{
    m_state = State::Ending;
    ++m_ended;
    m_timer.start(EndTimeoutMs);
    // The browser refuses to end a page with a navigation under way: an earlier step's, still
    // waiting for its server, is given up first (this one goes on from here anyway).
    m_connection.post(str("Page.stopLoading"), {}, m_sessionId);
    // The renderer dies without answering; an answer is a refusal (already gone, say), after
    // which there is nothing to wait for.
    const std::weak_ptr<WindowNavigation*> self = m_self;
    const int round = m_round;
    m_connection.post(str("Page.crash"), {}, m_sessionId, [self, round](const QJsonObject&) {
        const auto alive = self.lock();
        if (alive && *alive && (*alive)->m_state == State::Ending && (*alive)->m_round == round)
            meanwhile([&] { (*alive)->go(); });
    });
}

void WindowNavigation::go()
{
    m_state = State::Idle;
    m_timer.stop();
    const QString address = m_address;
    const int sent = ++m_sent;
    const std::weak_ptr<WindowNavigation*> self = m_self;
    if (m_historyEntry != 0) {
        // An entry that the browser no longer has: the address is loaded instead.
        m_connection.post(str("Page.navigateToHistoryEntry"), {{str("entryId"), m_historyEntry}},
                          m_sessionId, [self, sent](const QJsonObject& reply) {
                              const auto alive = self.lock();
                              if (!alive || !*alive || DevToolsPipe::succeeded(reply) ||
                                  (*alive)->m_sent != sent)
                                  return;
                              (*alive)->m_historyEntry = 0;
                              meanwhile([&] { (*alive)->go(); });
                          });
        StepTrace::mark("navigate");
        return;
    }
    // The answer comes only when the server has answered; nobody waits for it. An address that
    // the browser refuses to read leaves the page before on show: a blank page instead.
    m_connection.post(str("Page.navigate"), {{str("url"), address}}, m_sessionId,
                      [self, address, sent](const QJsonObject& reply) {
                          const auto alive = self.lock();
                          if (!alive || !*alive || DevToolsPipe::succeeded(reply) ||
                              (*alive)->m_sent != sent || address == QLatin1String("about:blank"))
                              return;
                          (*alive)->m_address = str("about:blank");
                          meanwhile([&] { (*alive)->go(); });
                      });
    StepTrace::mark("navigate");
}

void WindowNavigation::handleEvent(const QJsonObject& event)
{
    const QString method = event.value(str("method")).toString();
    const QJsonObject params = event.value(str("params")).toObject();
    if (method == QLatin1String("Target.targetCrashed") &&
        params.value(str("targetId")).toString() == m_targetId) {
        m_rendererGone = true;
        if (m_state != State::Idle)
            meanwhile([this] { go(); });
    } else if (method == QLatin1String("Target.targetInfoChanged")) {
        const QJsonObject info = params.value(str("targetInfo")).toObject();
        if (info.value(str("targetId")).toString() != m_targetId)
            return;
        if (m_state == State::Idle) {
            // A page came in a new renderer.
            m_rendererGone = false;
        } else if (m_state == State::Activating && info.value(str("url")).toString() == m_address) {
            // The browser loaded the address in the page instead of activating its prerender.
            m_state = State::Idle;
            m_timer.stop();
        }
    }
}
