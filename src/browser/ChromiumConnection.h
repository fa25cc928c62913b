#pragma once

#include "browser/BrowserProfile.h"

#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <sys/types.h>

class ChromiumProcess;
class DevToolsPipe;
class HiddenTargetGuard;
class KeptDocumentServer;
class KeptDocuments;

// One running browser and the pipe to it, shared by the instances that live in it. It keeps the
// set of live targets current from the browser's Target events, so that an instance whose
// window was closed knows it without asking.
class ChromiumConnection
{
public:
    // Time for the browser to start and answer its first command, and for any later answer.
    static constexpr int StartTimeoutMs = 10000;
    static constexpr int ReplyTimeoutMs = 5000;
    // How long the hidden instance's first load waits at most for the window's first page.
    static constexpr int FirstPageHeadStartMs = 2000;

    // Starts the browser, still without a window, and returns at once: its start-up runs while
    // the caller goes on. Failure 429 when it cannot be started at all.
    static std::shared_ptr<ChromiumConnection> launch(const QString& executable,
                                                      const BrowserProfile& profile);
    // launch() in two halves. The first makes no Qt object, so that it may run before the
    // application object exists; the second takes the pipe of the process that it started.
    static std::unique_ptr<ChromiumProcess> startProcess(const QString& executable,
                                                         const BrowserProfile& profile);
    static std::shared_ptr<ChromiumConnection> connect(std::unique_ptr<ChromiumProcess> process,
                                                       const BrowserProfile& profile);
    // A connection to whatever answers at the other end of the two descriptors (a test's scripted
    // browser), which it owns from now on; there is no process to end.
    static std::shared_ptr<ChromiumConnection> overPipe(int commandFd, int eventFd,
                                                        const BrowserProfile& profile);
    // Creates the browser's one window, on about:blank; Failure 429 when the browser does not
    // come up.
    void openWindow();
    // The arguments that the browser is started with, for a profile in `profileDir`.
    static QStringList browserArguments(const QString& profileDir);

    ~ChromiumConnection();
    ChromiumConnection(const ChromiumConnection&) = delete;
    ChromiumConnection& operator=(const ChromiumConnection&) = delete;

    bool isAlive() const;
    bool hasTarget(const QString& targetId) const;
    // Attaches to the tab of the window that the program created at start, whose pages (the one
    // on show, and the browser's prerenders) then come as sessions of the tab; returns the page
    // on show, {targetId, sessionId}. Throws `failureNumber` when the browser refuses.
    std::pair<QString, QString> attachWindow(int failureNumber);
    const QString& windowTabSessionId() const { return m_tabSessionId; }
    // The window's page is now the activated prerender `targetId`, showing `url`.
    void followWindowPage(const QString& targetId, const QString& sessionId, const QString& url);
    // Sets up a prerender of the window before it starts: its documents come from the kept ones.
    void servePrerender(const QString& sessionId);
    // The hidden instance is loading `address` ahead of the window.
    void loadingAhead(const QString& address) { m_aheadAddress = address; }
    const QString& aheadAddress() const { return m_aheadAddress; }
    // A new hidden target, attached and guarded; returns {targetId, sessionId}. Throws
    // `failureNumber` when the browser refuses.
    std::pair<QString, QString> createHiddenTarget(int failureNumber);
    // Answers the window's navigations from the documents that the hidden instance kept. Not
    // waited for: when the browser refuses, the window simply always goes to the network.
    void serveKeptDocuments(const QString& targetId, const QString& sessionId);
    KeptDocuments& keptDocuments() { return *m_kept; }
    KeptDocumentServer& keptDocumentServer() { return *m_documentServer; }
    // Attaches to a target for page commands; returns the session id.
    QString attach(const QString& targetId, int failureNumber);

    // The window's first page comes first. On a browser just started, the hidden instance's
    // load would take the processor from it (each starts a renderer of its own), so until that
    // page has loaded, or FirstPageHeadStartMs have passed, navigateAhead() keeps the hidden
    // instance's address and sends the latest one then. `address`: where the window goes.
    void windowNavigating(const QString& address);
    // Takes the hidden target of `sessionId` to `url`; throws 462 when the browser is gone.
    void navigateAhead(const QString& url, const QString& sessionId);

    // Sends a command and waits for its result; throws `failureNumber` (462 unless told) when
    // the browser is gone, refuses or does not answer in time. The set-up commands sent before
    // it are settled first, so that its answer sees what they set up.
    QJsonObject command(const QString& method, const QJsonObject& params = {},
                        const QString& sessionId = {}, int failureNumber = 462);
    // Sends a command without waiting; throws 462 when the browser is gone.
    void post(const QString& method, const QJsonObject& params, const QString& sessionId = {});
    // The same; `onReply` gets the whole answer ({"result": ...} or {"error": ...}) when it comes.
    using ReplyHandler = std::function<void(const QJsonObject& reply)>;
    void post(const QString& method, const QJsonObject& params, const QString& sessionId,
              ReplyHandler onReply);
    // A set-up command that need not hold up its caller: sent at once, its answer checked by
    // settle(). The browser runs the commands of a session in the order sent, so a page loaded
    // after them has what they set up whether or not their answers were read yet. Throws
    // `failureNumber` when the browser is gone.
    void postChecked(const QString& method, const QJsonObject& params, const QString& sessionId,
                     int failureNumber = 462);
    // The same; `then` gets the result when it comes, and may send further set-up commands,
    // which settle() waits for too.
    void postChecked(const QString& method, const QJsonObject& params, const QString& sessionId,
                     int failureNumber, std::function<void(const QJsonObject& result)> then);
    // Waits for the answers to every set-up command sent so far, and throws the failure number of
    // one that the browser refused or did not answer in time. An instance whose set-up failed is
    // not fit for use (a hidden target without its guard would run pages' scripts out of sight),
    // so every later settle() throws it again.
    void settle();
    // Reads the browser's messages until `done` holds or the time runs out.
    bool waitUntil(const std::function<bool()>& done, int timeoutMs);
    // Every event of the browser also goes to `listener` until it is removed; returns its id.
    using EventListener = std::function<void(const QJsonObject& event)>;
    int addEventListener(EventListener listener);
    void removeEventListener(int id) { m_listeners.remove(id); }
    // Whether `frameId` is a frame inside a page rather than a page's main frame. A page's main
    // frame has its target's id only until the page comes back from the back-forward cache.
    bool isSubframe(const QString& frameId) const { return m_subframes.contains(frameId); }
    // The number of load events that the target of `sessionId` has reported.
    int loadEventCount(const QString& sessionId) const { return m_loadEvents.value(sessionId); }
    // The number of loads that the target of `sessionId` has ended, with a load event or without
    // (its main frame stopped loading: the browser may not report the load event of a page that
    // loaded while the page domain was being enabled).
    int loadEndCount(const QString& sessionId) const { return m_loadEnds.value(sessionId); }
    // Whether the event ends a load of its page: its load event, or its main frame stopped.
    bool endsPageLoad(const QString& method, const QJsonObject& params) const;

    // Closes the browser and makes sure that its processes are gone.
    void quit();

    pid_t processGroup() const;
    const BrowserProfile& profile() const { return m_profile; }

private:
    ChromiumConnection(std::unique_ptr<ChromiumProcess> process, BrowserProfile profile,
                       int commandFd, int eventFd);
    void handleEvent(const QJsonObject& event);
    void trackTarget(const QString& method, const QJsonObject& params);
    void traceWindowEvent(const QString& method, const QJsonObject& params) const;
    bool hasPageTarget() const;
    bool holdsAheadForFirstPage() const
    {
        return m_firstPage == FirstPage::Asked || m_firstPage == FirstPage::Committed;
    }
    void followFirstPage(const QString& method, const QJsonObject& params);
    void endFirstPageHold();
    void removeTemporaryProfile();

    std::unique_ptr<ChromiumProcess> m_process;
    std::unique_ptr<DevToolsPipe> m_pipe;
    std::unique_ptr<KeptDocuments> m_kept;
    std::unique_ptr<HiddenTargetGuard> m_guard;
    std::unique_ptr<KeptDocumentServer> m_documentServer;
    BrowserProfile m_profile;
    QString m_windowTabId;
    QString m_tabSessionId;
    QString m_windowSessionId;   // of the page on show in the window
    QString m_firstPageTargetId; // the window's page before any prerender took its place
    QString m_aheadAddress;
    QSet<QString> m_subframes;
    QHash<QString, QString> m_typeOfTarget;
    QHash<QString, int> m_loadEvents;
    QHash<QString, int> m_loadEnds;
    QMap<int, EventListener> m_listeners;
    QMap<int, int> m_unsettled; // set-up commands not yet answered: id -> failure number
    int m_setUpFailure = 0;
    enum class FirstPage { NotAsked, Asked, Committed, Loaded } m_firstPage = FirstPage::NotAsked;
    QTimer m_firstPageTimer;
    QMap<QString, QString> m_heldNavigations; // hidden session -> address
    int m_nextListenerId = 1;
};
