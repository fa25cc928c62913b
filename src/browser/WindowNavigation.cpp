#include "browser/WindowNavigation.h"

#include "browser/ChromiumConnection.h"
#include "browser/DevToolsPipe.h"
#include "browser/KeptDocumentServer.h"
#include "browser/Meanwhile.h"
#include "browser/StepTrace.h"
#include "browser/Str.h"

#include <QTimer>

namespace {
class QtNavigationTimer : public NavigationTimer
{
public:
    QtNavigationTimer()
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { fired(); });
    }
    void start(int ms) override { m_timer.start(ms); }
    void stop() override { m_timer.stop(); }

private:
    QTimer m_timer;
};
} // namespace

WindowNavigation::WindowNavigation(ChromiumConnection& connection, QString targetId,
                                   QString sessionId, std::unique_ptr<NavigationTimer> timer)
    : m_connection(connection), m_targetId(std::move(targetId)), m_sessionId(std::move(sessionId)),
      m_timer(timer ? std::move(timer) : std::make_unique<QtNavigationTimer>()),
      m_self(std::make_shared<WindowNavigation*>(this))
{
    m_timer->fired = [this] { meanwhile([this] { timedOut(); }); };
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
    dismissDialog();
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
    const bool held = m_state == State::Asking || (m_state == State::Leaving && m_questionOut);
    m_state = State::Asking;
    m_questionOut = false;
    if (!held) {
        ++m_round;
        m_timer->start(AnswerTimeoutMs);
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

// A page that waits on its user blocks its renderer as a loop does; the step answers for the
// user: it leaves a page that asks to stay, and declines every other question.
void WindowNavigation::dismissDialog()
{
    if (m_openDialog.isEmpty())
        return;
    m_connection.post(str("Page.handleJavaScriptDialog"),
                      {{str("accept"), m_openDialog == QLatin1String("beforeunload")}},
                      m_sessionId);
    m_openDialog.clear();
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
    m_connection.post(str("Runtime.evaluate"), question, m_sessionId,
                      [self, round, activated](const QJsonObject& reply) {
                          const auto alive = self.lock();
                          if (alive && *alive)
                              meanwhile([&] {
                                  (*alive)->pageAnswered(round, DevToolsPipe::succeeded(reply),
                                                         activated);
                              });
                      });
}

void WindowNavigation::pageAnswered(int round, bool succeeded, const QString& activated)
{
    if (round != m_round)
        return;
    // Whatever the answer, the renderer took the task.
    if (m_state == State::Leaving && m_questionOut) {
        m_questionOut = false;
        // Asked after the commit: the next page has its renderer.
        if (m_committedRound != 0 && round > m_committedRound) {
            m_state = State::Idle;
            m_timer->stop();
        } else {
            m_timer->start(AskEveryMs);
        }
        return;
    }
    // A world that is gone (its page left meanwhile) is an answer to the question that asked
    // for a prerender.
    if (m_state != State::Asking || (!succeeded && activated.isEmpty()))
        return;
    // Asked for the prerender of the address still wanted: the browser shows it now.
    if (succeeded && !activated.isEmpty() && activated == m_address && m_historyEntry == 0) {
        m_state = State::Activating;
        m_timer->start(AnswerTimeoutMs);
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
        m_timer->stop();
    }
}

// Asks the page being left once more, with the time that it has to answer.
void WindowNavigation::keepAsking()
{
    ++m_round;
    m_questionOut = true;
    m_timer->start(AnswerTimeoutMs);
    ask(std::nullopt);
}

void WindowNavigation::timedOut()
{
    if (m_state == State::Leaving && !m_questionOut)
        keepAsking();
    else if (m_state == State::Asking || m_state == State::Leaving)
        endRenderer();
    else if (m_state == State::Ending || m_state == State::Activating)
        go(); // Not reported in time: the step goes on regardless.
}

void WindowNavigation::endRenderer()
{
    const bool navigationSent = m_state == State::Leaving;
    m_state = State::Ending;
    m_questionOut = false;
    ++m_ended;
    m_timer->start(EndTimeoutMs);
    // The browser refuses to end a page with a navigation under way: an earlier step's, still
    // waiting for its server, is given up first (this one goes on from here anyway).
    m_connection.post(str("Page.stopLoading"), {}, m_sessionId);
    // The renderer dies without answering; an answer is a refusal.
    const std::weak_ptr<WindowNavigation*> self = m_self;
    const int round = m_round;
    m_connection.post(str("Page.crash"), {}, m_sessionId,
                      [self, round, navigationSent](const QJsonObject&) {
                          const auto alive = self.lock();
                          if (!alive || !*alive || (*alive)->m_state != State::Ending ||
                              (*alive)->m_round != round)
                              return;
                          meanwhile([&] {
                              if (navigationSent)
                                  (*alive)->keepWatching();
                              else
                                  (*alive)->go(); // already gone, say: nothing to wait for
                          });
                      });
}

// The browser does not end a renderer that is about to commit the step's page (the next page of
// the same site comes in the renderer that holds it): the page is watched on, and ended as soon as
// the browser lets it.
void WindowNavigation::keepWatching()
{
    m_state = State::Leaving;
    keepAsking();
}

void WindowNavigation::go()
{
    // Only a page on show can hold the navigation: not a renderer that is gone, nor the blank
    // page that the window was made with.
    const bool watched = !m_rendererGone && m_sent > 0;
    m_state = watched ? State::Leaving : State::Idle;
    m_committedRound = 0;
    // A question still unanswered keeps its time.
    m_questionOut = m_questionOut && watched;
    if (!m_questionOut)
        m_timer->stop();
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
    } else {
        // The answer comes only when the server has answered; nobody waits for it. An address
        // that the browser refuses to read leaves the page before on show: a blank page instead.
        m_connection.post(str("Page.navigate"), {{str("url"), address}}, m_sessionId,
                          [self, address, sent](const QJsonObject& reply) {
                              const auto alive = self.lock();
                              if (!alive || !*alive || DevToolsPipe::succeeded(reply) ||
                                  (*alive)->m_sent != sent ||
                                  address == QLatin1String("about:blank"))
                                  return;
                              (*alive)->m_address = str("about:blank");
                              meanwhile([&] { (*alive)->go(); });
                          });
    }
    StepTrace::mark("navigate");
    if (watched && !m_questionOut)
        keepAsking();
}

void WindowNavigation::handleEvent(const QJsonObject& event)
{
    const QString method = event.value(str("method")).toString();
    const QJsonObject params = event.value(str("params")).toObject();
    const bool ofPage = event.value(str("sessionId")).toString() == m_sessionId;
    if (method == QLatin1String("Target.targetCrashed") &&
        params.value(str("targetId")).toString() == m_targetId) {
        m_rendererGone = true;
        m_openDialog.clear();
        if (m_state != State::Idle)
            meanwhile([this] { go(); });
    } else if (method == QLatin1String("Page.frameNavigated") && ofPage &&
               params.value(str("frame")).toObject().value(str("parentId")).toString().isEmpty()) {
        // The next page is in, but the page before may still hold the renderer that they share
        // (its pagehide and unload handlers run now): the watch ends with an answer asked after.
        m_openDialog.clear();
        if (m_state == State::Leaving)
            m_committedRound = m_round;
    } else if (method == QLatin1String("Page.javascriptDialogOpening") && ofPage) {
        m_openDialog = params.value(str("type")).toString();
        if (m_state == State::Leaving && m_committedRound != 0) {
            // The next page's own, for its user: it runs its scripts, so nothing holds it.
            m_state = State::Idle;
            m_questionOut = false;
            m_timer->stop();
        } else if (m_state != State::Idle) {
            // Opened while the page is being left: the step answers it at once.
            meanwhile([this] { dismissDialog(); });
        }
    } else if (method == QLatin1String("Page.javascriptDialogClosed") && ofPage) {
        m_openDialog.clear();
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
            m_timer->stop();
        }
    }
}
