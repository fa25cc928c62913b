#pragma once

#include "browser/ahead/ResponseBodyReader.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

class DevToolsConnection;
struct DevToolsEvent;
class KeptDocuments;

// Keeps everything that the hidden instance loads out of the user's way. It shares the
// window's profile (that is what makes the prefetch warm the cache), so every measure is taken
// per target, never for the whole profile: the visible window keeps the browser's usual ways.
// - downloads: a document that would be saved is stopped as its response arrives, and any
//   download that still begins is cancelled at once;
// - JavaScript dialogs (alert, confirm, prompt, beforeunload) are dismissed;
// - popups that it opens are closed;
// - sound: media elements are muted and audio contexts kept suspended, on top of the browser's
//   autoplay rule (no sound without a user's gesture, which a hidden page never gets);
// - permission prompts have no window to show in and end unanswered, so nothing is granted.
// Its documents tell the site that they are loaded ahead; one that the site answers with an error
// status, or with nothing to show (204, 205), is declined: nothing of it is loaded or kept, and
// the window asks the site for it at the step, past the browser's cache, which took the answer.
class HiddenTargetGuard : public QObject
{
public:
    // Main documents that it loads whole are handed to `kept` for the visible window.
    HiddenTargetGuard(DevToolsConnection& connection, KeptDocuments& kept,
                      QObject* parent = nullptr);

    // Takes a newly attached hidden target into its care and hands `send` the commands that set
    // its measures up, which must reach the browser before anything loads in it and be answered
    // without fault before it may load a page.
    using Send = std::function<void(const QString& method, const QJsonObject& params)>;
    void install(const QString& targetId, const QString& sessionId, const Send& send);
    // The window was sent to `address`: what is loaded ahead from now on is for the step from it.
    void windowGoesTo(const QString& address) { m_windowAddress = address; }

    // The purpose that a document loaded ahead tells its site, as browsers tell it
    // (Sec-Purpose): a prefetch, and a prerender too when the window showing `windowAddress`
    // will prerender it. A site may decline either with an error status.
    static QString purposeOf(const QString& url, const QString& windowAddress);

private:
    void handleSessionEvent(const DevToolsEvent& event);
    void askWithPurpose(const QJsonObject& params, const QString& sessionId);
    void answerPausedResponse(const QJsonObject& params, const QString& sessionId);
    void loadAsPrefetch(const QJsonObject& params, const QString& sessionId);
    void closePopup(const QJsonObject& targetInfo);
    void forgetTarget(const QString& targetId);

    DevToolsConnection& m_connection;
    KeptDocuments& m_kept;
    ResponseBodyReader m_bodies;
    QHash<QString, QString> m_targetOfSession;
    QSet<QString> m_targets;
    QString m_windowAddress;
};
