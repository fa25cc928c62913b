#include "browser/window/WindowNavigation.h"

#include "browser/Meanwhile.h"
#include "browser/NavigationUrl.h"
#include "browser/Str.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/page/PageLoads.h"
#include "browser/page/ShownPage.h"
#include "log/StepTrace.h"

#include <QJsonObject>
#include <QPointer>

WindowNavigation::WindowNavigation(DevToolsConnection& connection, ShownPage& page,
                                   Freshness freshness, QObject* parent)
    : QObject(parent), m_connection(connection), m_page(page), m_freshness(std::move(freshness)),
      m_timer(connection.clock().timer())
{
    m_timer->fired = [this] { meanwhile([this] { timedOut(); }); };
    connect(&m_page, &ShownPage::replaced, this, &WindowNavigation::showReplacedPage);
    connect(&m_page, &ShownPage::rendererGone, this, [this] {
        m_rendererGone = true;
        m_openDialog.clear();
        if (m_state != State::Idle)
            meanwhile([this] { go(); });
    });
    m_connection.subscribe("Page.frameNavigated", this, [this](const DevToolsEvent& event) {
        if (event.sessionId != m_page.sessionId() || !event.ofMainFrame())
            return;
        m_openDialog.clear();
        committed(event.params.value(str("frame")).toObject().value(str("loaderId")).toString());
    });
    m_connection.subscribe("Page.frameStartedNavigating", this, [this](const DevToolsEvent& event) {
        if (event.sessionId == m_page.sessionId() &&
            !m_page.loads().isSubframe(event.text("frameId")) && m_sent > 0 && !m_stepCommitted &&
            event.text("loaderId") != m_stepLoader)
            m_leftLoaders.insert(event.text("loaderId"));
    });
    m_connection.subscribe("Page.javascriptDialogOpening", this,
                           [this](const DevToolsEvent& event) {
                               if (event.sessionId != m_page.sessionId())
                                   return;
                               m_openDialog = event.text("type");
                               if (m_state == State::Leaving && m_committedRound != 0) {
                                   // The next page's own, for its user: it runs its scripts, so
                                   // nothing holds it.
                                   m_state = State::Idle;
                                   m_questionOut = false;
                                   m_timer->stop();
                               } else if (m_state != State::Idle) {
                                   // Opened while the page is being left: the step answers it at
                                   // once.
                                   meanwhile([this] { dismissDialog(); });
                               }
                           });
    m_connection.subscribe("Page.javascriptDialogClosed", this, [this](const DevToolsEvent& event) {
        if (event.sessionId == m_page.sessionId())
            m_openDialog.clear();
    });
    m_connection.subscribe("Target.targetInfoChanged", this, [this](const DevToolsEvent& event) {
        const QJsonObject info = event.params.value(str("targetInfo")).toObject();
        if (info.value(str("targetId")).toString() != m_page.targetId())
            return;
        if (m_state == State::Idle) {
            // A page came in a new renderer.
            m_rendererGone = false;
        } else if (m_state == State::Activating && info.value(str("url")).toString() == m_address) {
            // The browser loaded the address in the page instead of activating its prerender.
            m_state = State::Idle;
            m_timer->stop();
        }
    });
}

void WindowNavigation::navigate(const QString& address,
                                const std::optional<PrerenderActivation>& activation)
{
    start(address, 0, activation);
}

void WindowNavigation::takeOver(const QString& address)
{
    m_address = address;
    m_historyEntry = 0;
    ++m_sent;
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
    // A page of another site comes in a renderer of its own, which the page on show cannot hold:
    // the address goes at once, and the watch that follows it ends a page that hangs all the same.
    if (m_historyEntry == 0 && !activation && isAnotherSite(m_page.url(), address)) {
        m_questionOut = held;
        go();
        return;
    }
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
    const QPointer<WindowNavigation> self(this);
    const int round = m_round;
    m_freshness(address, [self, round, address, activation](bool fresh) {
        if (!self || self->m_state != State::Asking || self->m_round != round ||
            self->m_address != address)
            return;
        meanwhile([&] { self->ask(fresh ? activation : std::nullopt); });
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
                      m_page.sessionId());
    m_openDialog.clear();
}

void WindowNavigation::ask(const std::optional<PrerenderActivation>& activation)
{
    // Answered only when the page's main thread takes its next task, as the commit of a
    // navigation to the same site must; so is the page's own navigation to a prerender.
    const QPointer<WindowNavigation> self(this);
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
    m_connection.post(str("Runtime.evaluate"), question, m_page.sessionId(),
                      [self, round, activated](const QJsonObject& reply) {
                          if (self)
                              meanwhile([&] {
                                  self->pageAnswered(round, DevToolsConnection::succeeded(reply),
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

// The browser activated a prerender: its page has a renderer of its own.
void WindowNavigation::showReplacedPage()
{
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
    m_timer->start(EndTimeoutMs);
    // The browser refuses to end a page with a navigation under way: an earlier step's, still
    // waiting for its server, is given up first (this one goes on from here anyway).
    m_connection.post(str("Page.stopLoading"), {}, m_page.sessionId());
    // The renderer dies without answering; an answer is a refusal.
    const QPointer<WindowNavigation> self(this);
    const int round = m_round;
    m_connection.post(str("Page.crash"), {}, m_page.sessionId(),
                      [self, round, navigationSent](const QJsonObject&) {
                          if (!self || self->m_state != State::Ending || self->m_round != round)
                              return;
                          meanwhile([&] {
                              if (navigationSent)
                                  self->keepWatching();
                              else
                                  self->go(); // already gone, say: nothing to wait for
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
    m_stepNamed = m_historyEntry == 0;
    m_stepLoader.clear();
    m_stepCommitted = false;
    m_leftLoaders.clear();
    // A question still unanswered keeps its time.
    m_questionOut = m_questionOut && watched;
    if (!m_questionOut)
        m_timer->stop();
    const QString address = m_address;
    const int sent = ++m_sent;
    const QPointer<WindowNavigation> self(this);
    if (m_historyEntry != 0) {
        // An entry that the browser no longer has: the address is loaded instead.
        m_connection.post(str("Page.navigateToHistoryEntry"), {{str("entryId"), m_historyEntry}},
                          m_page.sessionId(), [self, sent](const QJsonObject& reply) {
                              if (!self || DevToolsConnection::succeeded(reply) ||
                                  self->m_sent != sent)
                                  return;
                              self->m_historyEntry = 0;
                              meanwhile([&] { self->go(); });
                          });
    } else {
        // The answer comes only when the server has answered; nobody waits for it. An address
        // that the browser refuses to read leaves the page before on show: a blank page instead.
        m_connection.post(str("Page.navigate"), {{str("url"), address}}, m_page.sessionId(),
                          [self, address, sent](const QJsonObject& reply) {
                              if (!self || self->m_sent != sent)
                                  return;
                              if (DevToolsConnection::succeeded(reply)) {
                                  // One that failed (an error page, nothing to show, a download) is
                                  // watched as before: whatever the page commits next ends the
                                  // watch.
                                  const QJsonObject result = reply.value(str("result")).toObject();
                                  self->m_stepLoader = result.value(str("loaderId")).toString();
                                  self->m_stepNamed = !self->m_stepLoader.isEmpty() &&
                                                      !result.contains(str("errorText"));
                                  self->m_leftLoaders.remove(self->m_stepLoader);
                                  return;
                              }
                              if (address == QLatin1String("about:blank"))
                                  return;
                              self->m_address = str("about:blank");
                              meanwhile([&] { self->go(); });
                          });
    }
    StepTrace::mark("navigate");
    if (watched && !m_questionOut)
        keepAsking();
}

void WindowNavigation::committed(const QString& loaderId)
{
    if (!m_stepNamed || loaderId == m_stepLoader) {
        // The next page is in, but the page before may still hold the renderer that they share
        // (its pagehide and unload handlers run now): the watch ends with an answer asked after.
        m_stepCommitted = m_stepNamed;
        if (m_state == State::Leaving)
            m_committedRound = m_round;
    } else if (m_stepCommitted && m_leftLoaders.contains(loaderId)) {
        // The page left took the window back from the step's page.
        StepTrace::mark("navigate:again");
        meanwhile([this] { start(m_address, m_historyEntry); });
    }
}
