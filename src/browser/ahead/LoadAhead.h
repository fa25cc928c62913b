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
class PageLoads;
class ShownPage;

// The load ahead of the visible window, shared by the hidden instances of one browser: the
// documents that they keep and the server that answers the window from them, the guard of their
// targets, the address that they load, and the head start of the window's page.
//
// The window's page comes first. On these machines the hidden instance's load takes the processor
// from the window's step, and its page, once answered, takes the renderer that the browser keeps
// ready for the next site: the window's page of another site then waits for a new one. So from
// each step of the window (its first page included) until its page has put up its picture,
// navigate() keeps the hidden instance's address and sends the latest one then. A page that has
// loaded gets PaintAfterLoadMs more to paint (a blank one never does), and the hold lasts
// HeadStartMs at most from the step that began it. What waits for the window's page
// (afterWindowPage()) runs as the hold ends.
class LoadAhead : public QObject
{
public:
    // How long the hidden instance's load waits at most for the window's page.
    static constexpr int HeadStartMs = 2000;
    static constexpr int PaintAfterLoadMs = 500;

    LoadAhead(DevToolsConnection& connection, PageLoads& loads, QObject* parent = nullptr);

    KeptDocuments& keptDocuments() { return m_kept; }
    KeptDocumentServer& keptDocumentServer() { return m_server; }
    HiddenTargetGuard& guard() { return m_guard; }

    // Follows the window's page on show: the window's documents come from the kept ones (from
    // when it asks, KeptDocumentServer::pauseWindowRequests()), what is loaded ahead is for the
    // step from where the window is sent, and its page comes first.
    void followWindow(ShownPage& page);
    // Keeps `then` until the window's page has come, and returns true; false when that page holds
    // nothing back (any more), and `then` is dropped. It runs wherever the hold ends,
    // so it may send but never wait.
    bool afterWindowPage(std::function<void()> then);
    // Takes the hidden target of `sessionId` to `address`; throws 462 when the browser is gone.
    void navigate(const QString& address, const QString& sessionId);
    // Where the hidden instance was last sent.
    const QString& aheadAddress() const { return m_aheadAddress; }

private:
    void windowLeaves(const QString& address);
    void windowLoaded(const QString& frameId);
    bool holds() const { return m_holding; }
    bool holdIsOver();
    void endHold();
    void send(const QString& address, const QString& sessionId);

    DevToolsConnection& m_connection;
    KeptDocuments m_kept;
    HiddenTargetGuard m_guard;
    KeptDocumentServer m_server;
    QPointer<ShownPage> m_window;
    QString m_aheadAddress;
    bool m_holding = false;
    QString m_leftLoader; // the window's document as the step that began the hold came
    std::unique_ptr<BrowserTimer> m_holdTimer;
    QMap<QString, QString> m_held; // hidden session -> address
    QList<std::function<void()>> m_afterWindowPage;
};
