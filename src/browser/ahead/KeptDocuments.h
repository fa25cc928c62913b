#pragma once

#include "browser/BrowserClock.h"

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The main documents that the hidden instance loaded ahead, kept so that the visible window's
// navigation to the same address is answered without going to the network again, as browsers'
// own navigational prefetch does: a document is served once, within five minutes. Only what
// may be served is kept: a GET answered 2xx, received whole, not marked no-store.
class KeptDocuments
{
public:
    struct Cookie
    {
        QByteArray value;
        bool httpOnly = false;
        friend bool operator==(const Cookie&, const Cookie&) = default;
    };
    // The cookies that the browser would send for an address, by name, domain, path and
    // partition.
    using Cookies = QMap<QByteArray, Cookie>;

    struct Document
    {
        QString url; // without fragment
        int status = 200;
        QString statusText;
        // The server's own headers, less those that do not fit a body handed over decoded and
        // whole (Content-Encoding, Content-Length, Transfer-Encoding) and Set-Cookie, which the
        // shared profile already took.
        QJsonArray headers;
        QByteArray body;
        qint64 keptAtMs = 0;
        // The cookies that the browser would send for the address, as they were just after it
        // was kept (see cookieState()); nothing until they are known.
        std::optional<Cookies> cookies;
        // A page runs it (the browser's prerender): from then on, that page's script writes
        // cookies of its own.
        bool handedOut = false;
    };

    static constexpr qint64 MaxAgeMs = qint64{5} * 60 * 1000;
    static constexpr int MaxDocuments = 4;
    // Bodies and headers together; a document larger than this alone is not kept.
    static constexpr qsizetype MaxBytes = qsizetype{16} * 1024 * 1024;

    // Ages are read on `clock`.
    explicit KeptDocuments(BrowserClock& clock);

    // Keeps the document when it may be served later; the latest replaces one of the same
    // address, and the oldest go when there are too many or they take too much memory.
    void keep(const QString& url, const QString& method, int status, const QString& statusText,
              const QJsonArray& headers, const QByteArray& body);
    // The site declined the load ahead of `url` (an error status, or nothing to show): no copy of
    // it is kept. The browser's cache may still hold that answer, shared with the window, for as
    // long as the site said; the window's next request for it asks the site anew (takeDeclined()).
    void decline(const QString& url);
    // Whether the window's request, a GET of `url`, must bypass the browser's cache; once only, as
    // that request replaces what the cache held. A copy kept since then answers instead.
    bool takeDeclined(const QString& url, const QString& method);
    // Called with the address of every document kept, so that the cookies for it can be noted.
    void setKeptHandler(std::function<void(const QString& url)> kept) { m_kept = std::move(kept); }
    // Notes the cookies for the document kept for `url`, when it has none noted yet.
    void noteCookies(const QString& url, const Cookies& cookies);
    // The cookies of Network.getCookies, in any order.
    static Cookies cookieState(const QJsonArray& cookies);
    // Whether a document kept with the cookies `kept` still answers the request that would carry
    // `now`. A document kept with other cookies than the browser would send now was the answer to
    // another request: a logged-in page after the user logged out, say. Once `handedOut`, the
    // page running it writes cookies of its own (an analytics script does), which a script of a
    // page can only do to cookies that are not HttpOnly and without taking one away: a cookie it
    // was kept with that is gone, and any HttpOnly one that changed or came, still mean another
    // answer. Without a page running it, the cookies must be the same.
    static bool stillAnswers(const Cookies& kept, const Cookies& now, bool handedOut);
    // The document kept for `url` is run by a page from now on.
    void handOut(const QString& url);

    // The document kept for a GET of `url` (its fragment aside), when not older than five minutes;
    // it is then no longer kept (served once).
    std::optional<Document> take(const QString& url, const QString& method);
    // As take(), but the document stays kept: a copy for the browser's prerender of the
    // address, which the user may never see.
    std::optional<Document> find(const QString& url, const QString& method);

    qsizetype bytes() const { return m_bytes; }
    int count() const { return int(m_documents.size()); }
    // The high-water mark of bytes() since start.
    qsizetype peakBytes() const { return m_peakBytes; }

    // What keep() and take() decide, for the tests.
    static bool mayBeKept(const QString& method, int status, const QJsonArray& headers);
    static QString withoutFragment(const QString& url);

private:
    static qsizetype sizeOf(const Document& document);
    qsizetype indexOf(const QString& url, const QString& method);
    void removeAt(qsizetype index);
    void removeAddress(const QString& address);

    QList<Document> m_documents; // oldest first
    QStringList m_declined;      // oldest first, at most MaxDeclined
    static constexpr int MaxDeclined = 64;
    qsizetype m_bytes = 0;
    qsizetype m_peakBytes = 0;
    BrowserClock& m_clock;
    std::function<void(const QString&)> m_kept;
};
