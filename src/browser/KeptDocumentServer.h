#pragma once

#include "browser/KeptDocuments.h"

#include <QJsonObject>
#include <QString>

class DevToolsPipe;

// Answers the visible window's top-level document requests from the documents that the hidden
// instance kept, when one may be served; every other request (frames, other addresses, a
// reload, anything not a GET) goes on to the network at once, untouched. As browsers' own
// prefetch caches, it never answers with a document kept under other cookies than the browser
// would send now, nor for the address already on show: the window goes there to see it anew.
class KeptDocumentServer
{
public:
    KeptDocumentServer(DevToolsPipe& pipe, KeptDocuments& documents)
        : m_pipe(pipe), m_documents(documents)
    {}

    // Starts pausing the document requests of the window's target. Not waited for: when the
    // browser refuses, the window simply always goes to the network.
    void install(const QString& targetId, const QString& sessionId);
    void handleEvent(const QJsonObject& event);
    // How many navigations were answered from a kept document so far.
    int servedCount() const { return m_served; }

private:
    void answer(const QJsonObject& params);
    void serveIfCookiesHold(const QJsonValue& requestId, const KeptDocuments::Document& document,
                            const QJsonObject& cookiesReply);
    void noteCookies(const QString& url);
    void goToNetwork(const QJsonValue& requestId);

    DevToolsPipe& m_pipe;
    KeptDocuments& m_documents;
    QString m_targetId;
    QString m_sessionId;
    QString m_shownUrl; // of the page on show, without fragment
    int m_served = 0;
};
