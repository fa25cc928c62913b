#pragma once

#include <QObject>
#include <QString>

class DevToolsConnection;
class PageLoads;
struct DevToolsEvent;

// The page on show in the visible window: its target, its session, its main frame and its
// address, and the end of each of its loads. The one record of them: the window's parts ask it
// for them and follow its signals, so that none keeps a copy to put right when the browser shows
// a prerender in the page's place.
class ShownPage : public QObject
{
    Q_OBJECT

public:
    // The window's tab and its page on show.
    struct Tab
    {
        QString sessionOfTab;
        QString targetId;
        QString sessionId;
    };
    // Attaches to the window's tab `tabId`, whose pages (the one on show, and the browser's
    // prerenders) then come as sessions of the tab; Failure 429 when the browser refuses.
    static Tab attachTab(DevToolsConnection& connection, const QString& tabId);

    // The window's first page, on `url`.
    ShownPage(DevToolsConnection& connection, PageLoads& loads, QString targetId, QString sessionId,
              QString url, QObject* parent = nullptr);

    PageLoads& loads() const { return m_loads; }
    const QString& targetId() const { return m_targetId; }
    const QString& sessionId() const { return m_sessionId; }
    // The main frame of its document, from the last load of it that ended; empty before.
    const QString& frameId() const { return m_frameId; }
    // Its address as the browser last reported it.
    const QString& url() const { return m_url; }

    // The window is sent to `address`: the parts let the page on show go.
    void leave(const QString& address) { emit leaving(address); }
    // The browser shows its prerender `targetId` of the window in the page's place, at `url`.
    void replace(const QString& targetId, const QString& sessionId, const QString& url);

signals:
    void leaving(const QString& address);
    void replaced();
    // A load of the page ended: its load event (no `frameId`), or its main frame `frameId`
    // stopped loading (see PageLoads).
    void loaded(const QString& frameId);
    // A page of its session has put up its first picture: it painted, or came whole from the
    // browser's back-forward cache (needs the page's lifecycle events).
    void painted();
    // Its renderer crashed, or was ended; the next navigation starts a new one.
    void rendererGone();
    // Its target is gone: the window was closed.
    void closed();

private:
    void trace(const DevToolsEvent& event) const;

    DevToolsConnection& m_connection;
    PageLoads& m_loads;
    QString m_targetId;
    QString m_sessionId;
    QString m_frameId;
    QString m_url;
};
