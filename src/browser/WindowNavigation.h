#pragma once

#include <QJsonObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class ChromiumConnection;

// A navigation that shows the browser's prerender of the address: `expression`, evaluated in the
// isolated world `worldId` of the page on show, asks for it as the page's own navigation would
// (one that the browser sends itself does not activate a prerender).
struct PrerenderActivation
{
    int worldId = 0;
    QString expression;
};

// Takes the visible window to an address without ever waiting on the page that it leaves.
// The browser commits a navigation to the same site in the renderer of the page on show, so a
// page whose script never returns (or a renderer hung in the browser's own code) would hold
// every later step for good, the next site's included: the browser queues them behind it. So
// the page is asked first whether its renderer still takes a task; one that does not answer
// within a moment is ended (Page.crash, which its renderer runs on a thread that the page
// cannot hold), and the window then loads the address in a new renderer. Only the page on show
// is ended, and only once it has held a step: a busy page that answers is left alone.
// A step onto a prerendered page asks for it in the same question; when the browser does not
// show it within that moment all the same, the address is loaded as any other.
class WindowNavigation
{
public:
    // How long the page on show may hold a step before its renderer is ended, and how long its
    // end may take before the step goes on regardless.
    static constexpr int AnswerTimeoutMs = 1000;
    static constexpr int EndTimeoutMs = 1000;

    WindowNavigation(ChromiumConnection& connection, QString targetId, QString sessionId);
    ~WindowNavigation();
    WindowNavigation(const WindowNavigation&) = delete;
    WindowNavigation& operator=(const WindowNavigation&) = delete;

    // Starts taking the window to `address` and returns at once; throws Failure (462) when the
    // browser is gone. A later call replaces an address that is not yet on its way.
    void navigate(const QString& address,
                  const std::optional<PrerenderActivation>& activation = std::nullopt);
    // As navigate(), by going to the window's history entry `entryId`, which shows `address`
    // (the browser's back-forward cache may hold its page whole); `address` is loaded instead
    // when the browser refuses the entry.
    void navigateToHistoryEntry(int entryId, const QString& address);
    // How many renderers of pages on show were ended so far.
    int endedRenderers() const { return m_ended; }
    // The window's page is now that of `targetId`: the browser activated a prerender.
    void follow(const QString& targetId, const QString& sessionId);

private:
    enum class State { Idle, Asking, Ending, Activating };

    void start(const QString& address, int historyEntry,
               const std::optional<PrerenderActivation>& activation = std::nullopt);
    void ask(const std::optional<PrerenderActivation>& activation);
    void pageAnswered(int round, const QString& activated);
    void timedOut();
    void endRenderer();
    void go();
    void handleEvent(const QJsonObject& event);

    ChromiumConnection& m_connection;
    QString m_targetId;
    QString m_sessionId;
    State m_state = State::Idle;
    int m_round = 0;
    int m_sent = 0; // navigations sent, so that a late refusal never overrides a later step
    QString m_address;
    int m_historyEntry = 0; // 0: m_address is loaded anew
    // The renderer of the window is gone (crashed or ended) and no page has come since.
    bool m_rendererGone = false;
    int m_ended = 0;
    int m_listenerId = 0;
    QTimer m_timer;
    // Answers that arrive after the window is gone find no object to call.
    std::shared_ptr<WindowNavigation*> m_self;
};
