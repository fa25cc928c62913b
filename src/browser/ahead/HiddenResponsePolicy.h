#pragma once

#include <QJsonArray>

// Decides, from a document's response headers, whether the hidden instance may let it load: a
// response that the browser would save as a download or play as media must not, since nobody
// would see it and the user would find the file or hear the sound.
class HiddenResponsePolicy
{
public:
    // `responseHeaders` as the Fetch domain gives them: [{name, value}, ...].
    static bool mayLoad(int statusCode, const QJsonArray& responseHeaders);

    // A document is handed to the browser whole through the program (see HiddenTargetGuard);
    // one that says it is larger than this, or runs past it decoded, is not loaded ahead.
    static constexpr qint64 MaxDocumentBytes = qint64{32} * 1024 * 1024;
    static bool isTooLargeToHold(const QJsonArray& responseHeaders);

    static bool isRedirect(int statusCode) { return statusCode >= 300 && statusCode < 400; }
    // A page's answer that ends its load ahead: an error status (4xx, 5xx), or anything else
    // that is neither a success nor a redirect.
    static bool declinesLoadingAhead(int statusCode)
    {
        return (statusCode < 200 || statusCode > 299) && !isRedirect(statusCode);
    }
    // True when a redirect's Location names an address that is not http or https (a relative
    // one stays on the web).
    static bool redirectLeavesTheWeb(const QJsonArray& responseHeaders);
    // The response's headers for the decoded body that the hidden load is given, with the
    // policy that makes it a no-state prefetch: Content-Security-Policy: sandbox
    // allow-same-origin, and X-Content-Type-Options: nosniff (no binary text/plain is taken for a
    // download). Content-Encoding, Content-Length, Transfer-Encoding and Set-Cookie go.
    static QJsonArray sandboxedHeaders(const QJsonArray& responseHeaders);
};
