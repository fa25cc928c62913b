#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <utility>

class DevToolsConnection;
struct DevToolsEvent;

// The one rule of "loaded", for every page of one browser. A page's load is known by the
// browser's own name for it, the loader of the document that its main frame commits
// (`loaderId`). A load ends with its load event, or when the main frame stops loading without
// one: an answer without content, a download and a failed load have none, and the browser may
// not report the load event of a page that loaded while its page domain was being enabled. A
// frame inside a page loads as part of it. It subscribes before the parts that follow it, so
// that they find it up to date.
class PageLoads : public QObject
{
    Q_OBJECT

public:
    using Commands = QList<std::pair<QString, QJsonObject>>;

    explicit PageLoads(DevToolsConnection& connection, QObject* parent = nullptr);

    // What has the browser report a page's loads (the page domain), and its lifecycle events
    // when `lifecycle`: sent by whoever sets the page up, with its other commands.
    static Commands watchCommands(bool lifecycle);
    // Sends them for the page of `sessionId`, without waiting. A page whose loads its owner
    // relies on has them `settled` before its next navigation (see DevToolsConnection::settle()),
    // and throws 462 when the browser is gone; a page that may go any moment (a prerender) has
    // them sent without failing.
    enum class Sending { Settled, Unchecked };
    void watch(const QString& sessionId, bool lifecycle, Sending sending);

    // Whether `frameId` is a frame inside a page rather than a page's main frame. A page's main
    // frame has its target's id only until the page comes back from the back-forward cache.
    bool isSubframe(const QString& frameId) const { return m_subframes.contains(frameId); }
    // The loader of the document that the main frame of `sessionId`'s page committed last.
    QString loaderOf(const QString& sessionId) const { return m_loaders.value(sessionId); }
    // The loads of `sessionId`'s page that have ended so far.
    int endsOf(const QString& sessionId) const { return m_ends.value(sessionId); }

signals:
    // A load of the page of `sessionId` ended: its load event (no `frameId`), or its main frame
    // `frameId` stopped loading. A page's load may end both ways, one after the other.
    void ended(const QString& sessionId, const QString& frameId);

private:
    void frameEvent(const DevToolsEvent& event);

    DevToolsConnection& m_connection;
    QSet<QString> m_subframes;
    QHash<QString, QString> m_loaders; // session -> loader of its main frame's document
    QHash<QString, int> m_ends;
};
