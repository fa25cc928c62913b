#pragma once

#include "browser/BrowserClock.h"
#include "browser/ahead/HiddenTargetGuard.h"
#include "browser/ahead/KeptDocumentServer.h"
#include "browser/ahead/KeptDocuments.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class DevToolsConnection;
class ShownPage;

// The load ahead of the visible window, shared by the hidden instances of one browser: the
// documents that they keep and the server that answers the window from them, the guard of their
// targets, the address that they load, and the head start of the window's first page.
//
// The window's first page comes first. On a browser just started, the hidden instance's load
// would take the processor from it (each starts a renderer of its own), so until that page has
// loaded, or FirstPageHeadStartMs have passed, navigate() keeps the hidden instance's address
// and sends the latest one then, and what waits for that page (afterFirstPage()) runs then.
class LoadAhead : public QObject
{
public:
    // How long the hidden instance's first load waits at most for the window's first page.
    static constexpr int FirstPageHeadStartMs = 2000;

    explicit LoadAhead(DevToolsConnection& connection, QObject* parent = nullptr);
    ~LoadAhead() override;

    KeptDocuments& keptDocuments() { return m_kept; }
    KeptDocumentServer& keptDocumentServer() { return m_server; }
    HiddenTargetGuard& guard() { return m_guard; }

    // Follows the window's page on show: the window's documents come from the kept ones (from
    // when it asks, KeptDocumentServer::pauseWindowRequests()), what is loaded ahead is for the
    // step from where the window is sent, and its first page comes first.
    void followWindow(ShownPage& page);
    // Keeps `then` until the window's first page has come, and returns true; false when that
    // page holds nothing back (any more), and `then` is dropped. It runs wherever the hold ends,
    // so it may send but never wait.
    bool afterFirstPage(std::function<void()> then);
    // Takes the hidden target of `sessionId` to `address`; throws 462 when the browser is gone.
    void navigate(const QString& address, const QString& sessionId);
    // Where the hidden instance was last sent.
    const QString& aheadAddress() const { return m_aheadAddress; }
    // Reads the browser's messages until `done` holds or the time runs out. A held navigation
    // goes when its time comes, also while the caller waits and no timer runs.
    bool waitUntil(const std::function<bool()>& done, int timeoutMs);

private:
    void windowLeaves(const QString& address);
    bool holds() const { return m_firstPage == FirstPage::Asked; }
    bool holdIsOver();
    void endHold();

    DevToolsConnection& m_connection;
    KeptDocuments m_kept;
    HiddenTargetGuard m_guard;
    KeptDocumentServer m_server;
    QPointer<ShownPage> m_window;
    QString m_aheadAddress;
    enum class FirstPage { NotAsked, Asked, Loaded } m_firstPage = FirstPage::NotAsked;
    std::unique_ptr<BrowserTimer> m_holdTimer;
    QMap<QString, QString> m_held; // hidden session -> address
    QList<std::function<void()>> m_afterFirstPage;
};
