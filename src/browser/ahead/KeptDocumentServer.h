#pragma once

#include "browser/ahead/KeptDocuments.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

class DevToolsConnection;
class PageLoads;
struct DevToolsEvent;
class ShownPage;

// Answers the visible window's top-level document requests from the documents that the hidden
// instance kept, when one may be served; every other request (frames, other addresses, a
// reload, anything not a GET) goes on to the network at once, untouched, but for an address whose
// load ahead the site declined: that one asks the site past the browser's cache, which took the
// declining answer as it passed (see KeptDocuments::decline()). As browsers' own
// prefetch caches, it never answers with a document kept under other cookies than the browser
// would send now, nor for the address already on show: the window goes there to see it anew.
// The browser's prerender of the window's next link gets its document from the same copies and
// only from them, kept for the window's own step until the user sees the prerendered page: a
// prerender never sends the server a request that the step would not have sent.
// A copy shown is asked for again when the cookies it was answered under changed as it came on
// show: a page left with a logout in its `navigate` or `pagehide` handler. So the cookies that a
// step's copy is checked against are asked for as the step begins, and its request, when it
// comes, is answered without a question of its own.
class KeptDocumentServer : public QObject
{
public:
    KeptDocumentServer(DevToolsConnection& connection, PageLoads& loads, KeptDocuments& documents,
                       QObject* parent = nullptr);

    // Follows the window's page on show, whichever it is, and what is kept from now on; its
    // document requests are answered from pauseWindowRequests() on.
    void serveWindow(ShownPage& page);
    // Starts pausing the document requests of the window's page on show, once. Not waited for:
    // when the browser refuses, the window simply always goes to the network.
    void pauseWindowRequests();
    // While a timed step's page is on its way, the answer to the window's document is paused
    // too: one that failed (no connection, no such host) or a server error is dropped, so that
    // the page before stays on show instead of an error page, and `failed` gets why in a few
    // words. Ends with the next call.
    void passOverFailures(std::function<void(const QString& why)> failed);
    // Answers the document requests of a prerender of the window from now on; sent without
    // waiting, so that it comes before the prerender goes on.
    void servePrerender(const QString& sessionId);
    // Whether the copy of `url` loaded ahead could still be served to the window now: within its
    // time, and the cookies that the browser would send still those it answered (see
    // KeptDocuments::stillAnswers). `then` gets the answer, at once when no question to the
    // browser is needed.
    void checkFresh(const QString& url, std::function<void(bool fresh)> then);
    // How long after a copy on show has stopped loading its cookies are checked a last time.
    static constexpr int ShownRecheckMs = 1000;

private:
    struct Request
    {
        QString sessionId;
        QJsonValue requestId;
        bool prerender = false;
    };
    QString windowSession() const;
    void paused(const DevToolsEvent& event);
    void showReplacedPage();
    void windowLeaves(const QString& address);
    void windowLoaded(const QString& frameId);
    using CookiesThen = std::function<void(const std::optional<KeptDocuments::Cookies>& now)>;
    void cookiesOf(const QString& url, const QString& sessionId, CookiesThen then);
    void askCookies(const QString& url, const QString& sessionId, CookiesThen then);
    void serve(const Request& request, const KeptDocuments::Document& document);
    void cookiesStill(const QString& url, const QString& sessionId,
                      const KeptDocuments::Document& document, std::function<void(bool same)> then);
    void shown(const KeptDocuments::Document& document);
    void recheckShown(int generation, bool last);
    void noteCookies(const QString& url);
    void refuse(const Request& request);
    void askAnew(const Request& request, const QJsonObject& requestHeaders);
    void answered(const Request& request, const QJsonObject& params);
    void enableWindowFetch();

    DevToolsConnection& m_connection;
    PageLoads& m_loads;
    KeptDocuments& m_documents;
    QPointer<ShownPage> m_page;
    QSet<QString> m_prerenderSessions;
    QHash<QString, QString> m_prerenderedUrls; // by session: what it was answered with
    bool m_windowPaused = false;
    std::function<void(const QString& why)> m_stepFailed;
    // The copy that the window's page came from, until its cookies were checked once it is on
    // show; m_shownGeneration counts the copies shown.
    std::optional<KeptDocuments::Document> m_shownCopy;
    int m_shownGeneration = 0;
    // The cookies of the address that the window was last sent to, asked for as it was sent:
    // the answer, once it came, and who waits for it meanwhile.
    struct StepCookies
    {
        QString url;
        bool answered = false;
        std::optional<KeptDocuments::Cookies> now;
        QList<CookiesThen> waiting;
    };
    std::shared_ptr<StepCookies> m_stepCookies;
};
