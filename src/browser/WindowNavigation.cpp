#include "browser/WindowNavigation.h"

#include "browser/ChromiumConnection.h"
#include "browser/StepTrace.h"
#include "platform/Failure.h"

#include <functional>

namespace {
QString str(const char* text)
{
    return QString::fromLatin1(text);
}

bool succeeded(const QJsonObject& reply)
{
    return reply.contains(str("result"));
}

// What runs later, from the event loop, has no caller to report to: a browser that is gone is
// reported by the program's next operation on it.
void meanwhile(const std::function<void()>& step)
{
    try {
        step();
    } catch (const Failure&) {
    }
}
} // namespace

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

void WindowNavigation::navigate(const QString& address)
{
    start(address, 0);
}

void WindowNavigation::navigateToHistoryEntry(int entryId, const QString& address)
{
    start(address, entryId);
}

void WindowNavigation::start(const QString& address, int historyEntry)
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
    if (m_state == State::Idle) {
        ++m_round;
        m_state = State::Asking;
        m_timer.start(AnswerTimeoutMs);
    }
    // Answered only when the page's main thread takes its next task, as the commit of a
    // navigation to the same site must.
    const std::weak_ptr<WindowNavigation*> self = m_self;
    const int round = m_round;
    m_connection.post(str("Runtime.evaluate"), {{str("expression"), str("0")}}, m_sessionId,
                      [self, round](const QJsonObject& reply) {
                          const auto alive = self.lock();
                          if (alive && *alive && succeeded(reply))
                              meanwhile([&] { (*alive)->pageAnswered(round); });
                      });
}

void WindowNavigation::pageAnswered(int round)
{
    if (m_state == State::Asking && round == m_round)
        go();
}

void WindowNavigation::timedOut()
{
    if (m_state == State::Asking)
        endRenderer();
    else if (m_state == State::Ending)
        go(); // The end was not reported in time: the step goes on regardless.
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
                              if (!alive || !*alive || succeeded(reply) ||
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
                          if (!alive || !*alive || succeeded(reply) || (*alive)->m_sent != sent ||
                              address == QLatin1String("about:blank"))
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
    } else if (method == QLatin1String("Target.targetInfoChanged") &&
               params.value(str("targetInfo")).toObject().value(str("targetId")).toString() ==
                   m_targetId &&
               m_state == State::Idle) {
        // A page came in a new renderer.
        m_rendererGone = false;
    }
}
