#pragma once

#include "browser/BrowserClock.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

class DevToolsConnection;
class LoadAhead;
class ShownPage;
struct PrerenderActivation;

// The browser's own prerender of the next link in the visible window, and the window's pages
// as they come and go in its tab. The window is driven through its tab, which the browser
// allows to prerender (a session attached to the page alone turns prerendering off), so the
// page on show is one session of the tab and a prerender another, set up before it starts and
// the window's page from the moment the browser activates it.
//
// Once the page on show has loaded and the hidden instance has kept the next link's document,
// the page is given speculation rules for that one link, from an isolated world that the
// page's scripts cannot reach. The rules' element itself is in the page's document, which every
// world shares, so the page's scripts can read the next link's address from it: the browser
// starts a prerender only from rules in the document or in its response's Speculation-Rules
// header (fixed for the document's life), and its protocol's Preload domain only reports. The
// browser allows them for the page's own origin only; its prerender takes its document from the
// copy loaded ahead (see KeptDocumentServer) and defers what a user would notice until it is shown.
// The rules are replaced at each step, so that at most the next link is prerendered, and taken away
// as soon as the copy could no longer be shown (past its time, or the cookies it answered changed):
// the browser then ends the prerender, and nothing runs for a page that nobody will see.
class WindowPrerender : public QObject
{
    Q_OBJECT

public:
    // `tabSessionId`: the window's tab, whose pages come as its sessions. The next link is the
    // one that `ahead` loads; its documents are the ones that `ahead` kept.
    WindowPrerender(DevToolsConnection& connection, ShownPage& page, QString tabSessionId,
                    LoadAhead& ahead, QObject* parent = nullptr);

    // How to show `address` from its prerender, when the browser has it ready.
    std::optional<PrerenderActivation> activationFor(const QString& address) const;
    // The window goes to another page: the rules of the page on show go with it.
    void leave();

    // How often a prerender's copy is checked while the rules for it stand.
    static constexpr int WatchIntervalMs = 2000;

signals:
    // A prerender of the window waits to start in session `sessionId`: what it needs as the
    // page on show must be sent now, without waiting.
    void starting(const QString& sessionId);

private:
    struct Prerender
    {
        QString targetId;
        QString sessionId;
        QString url;
    };
    void attached(const QJsonObject& params);
    void activate(const QString& targetId);
    void newDocument();
    void prepare();
    void placeRulesFor(const QString& next, int generation);
    void placeRules(int world, const QString& next, int generation);
    void statusUpdated(const QJsonObject& params);
    void watch();

    DevToolsConnection& m_connection;
    ShownPage& m_page;
    QString m_tabSessionId;
    LoadAhead& m_ahead;
    QHash<QString, Prerender> m_prerenders; // by target id
    // The page on show has loaded since the window last went elsewhere.
    bool m_settled = false;
    int m_generation = 0;      // of the page on show's document, for late answers
    int m_world = 0;           // the isolated world in the page on show, 0 before it is made
    QString m_rulesFor;        // the link that its rules are for, as the toolbar gave it
    QString m_rulesUrl;        // the same, as the page resolved it, without fragment
    QSet<QString> m_readyUrls; // prerenders that the page on show has ready, without fragment
    std::unique_ptr<BrowserTimer> m_watch;
};
