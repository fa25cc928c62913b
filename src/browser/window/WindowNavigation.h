#pragma once

#include "browser/BrowserClock.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class DevToolsConnection;
class ShownPage;

// A navigation that shows the browser's prerender of the address: `expression`, evaluated in the
// isolated world `worldId` of the page on show, asks for it as the page's own navigation would
// (one that the browser sends itself does not activate a prerender).
struct PrerenderActivation
{
    int worldId = 0;
    QString expression;
};

// Takes the visible window to an address without ever waiting on the page that it leaves.
// The browser runs the leaving page's handlers (beforeunload, the Navigation API's navigate,
// pagehide, unload) and, for a link on the same site, commits the next page in the same renderer;
// a script there that never returns (or a renderer hung in the browser's own code) would hold the
// step and every later one for good. The browser's own time limit on those handlers does not
// hold while a debugging client is attached, and this program always is. So the page is asked
// whether its renderer still takes a task before the navigation is sent, and again and again
// after, until a question asked after the next page committed is answered. A renderer that
// leaves a question unanswered for AnswerTimeoutMs is ended (Page.crash, which its renderer runs
// on a thread that the page cannot hold), and the address is sent again into a new renderer.
// The first question matters: the browser refuses to end a renderer that it has asked to commit
// a page, which a page already spinning would hold. A page of another site is never committed
// there (each site has renderers of its own), so a step onto one skips that question and is on
// its way at once, watched as any other. Only the page on show is ended, and only
// once it has held a step: a busy page that answers is left alone, however slow the next page's
// server. A JavaScript dialog that the page on show has open is dismissed when a step comes: the
// page is being left anyway.
// A step onto a prerendered page asks for it in the first question; when the browser does not
// show it within that moment all the same, the address is loaded as any other.
// A page that navigates itself (a reload as it loads, a timer, a refresh tag) may start its own
// navigation in the moment between the step's page getting its answer and committing, which the
// browser lets through and commits after the step's: the step is then sent again.
class WindowNavigation : public QObject
{
public:
    // How long the page on show may hold a step before its renderer is ended, and how long its
    // end may take before the step goes on regardless.
    static constexpr int AnswerTimeoutMs = 2000;
    static constexpr int EndTimeoutMs = 1000;
    // How often the page being left is asked while its successor has not committed.
    static constexpr int AskEveryMs = 100;

    // Whether the copy of `address` loaded ahead could still be shown (KeptDocumentServer's
    // checkFresh()).
    using Freshness =
        std::function<void(const QString& address, std::function<void(bool fresh)> then)>;

    // Takes its timer from the connection's clock.
    WindowNavigation(DevToolsConnection& connection, ShownPage& page, Freshness freshness,
                     QObject* parent = nullptr);

    // Starts taking the window to `address` and returns at once; throws Failure (462) when the
    // browser is gone. A later call replaces an address that is not yet on its way.
    void navigate(const QString& address,
                  const std::optional<PrerenderActivation>& activation = std::nullopt);
    // As navigate(), by going to the window's history entry `entryId`, which shows `address`
    // (the browser's back-forward cache may hold its page whole); `address` is loaded instead
    // when the browser refuses the entry.
    void navigateToHistoryEntry(int entryId, const QString& address);
    // The window is on its way to `address` already (it was made on it): that load is watched as
    // if navigate() had sent it.
    void takeOver(const QString& address);
    // The address that the window was last sent to.
    const QString& address() const { return m_address; }

private:
    // Leaving: the navigation is sent and the page on show is watched until it commits.
    enum class State { Idle, Asking, Ending, Activating, Leaving };

    void start(const QString& address, int historyEntry,
               const std::optional<PrerenderActivation>& activation = std::nullopt);
    void ask(const std::optional<PrerenderActivation>& activation);
    void pageAnswered(int round, bool succeeded, const QString& activated);
    void keepAsking();
    void dismissDialog();
    void timedOut();
    void endRenderer();
    void keepWatching();
    void go();
    void showReplacedPage();
    void committed(const QString& loaderId);

    DevToolsConnection& m_connection;
    ShownPage& m_page;
    Freshness m_freshness;
    State m_state = State::Idle;
    int m_round = 0;
    int m_sent = 0; // navigations sent, so that a late refusal never overrides a later step
    QString m_address;
    int m_historyEntry = 0; // 0: m_address is loaded anew
    // The renderer of the window is gone (crashed or ended) and no page has come since.
    bool m_rendererGone = false;
    // While Leaving: a question is on its way, asked when the timer was last started.
    bool m_questionOut = false;
    int m_committedRound = 0; // the last question asked before the step's page committed
    // The step's navigation is one that the browser names as it gets its answer, before its page
    // commits (not a history entry): only the commit of that name is the step's.
    bool m_stepNamed = false;
    QString m_stepLoader; // its name, once the answer came
    bool m_stepCommitted = false;
    // The other navigations of the window's page that started after the step was sent and before
    // its page committed: the page left starts one as the step's page is about to commit, which
    // the browser then commits over the step's.
    QSet<QString> m_leftLoaders;

    QString m_openDialog; // the type of the page's JavaScript dialog on show, if any
    std::unique_ptr<BrowserTimer> m_timer;
};
