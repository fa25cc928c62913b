#include "browser/ahead/HiddenResponsePolicy.h"

#include "browser/NavigationUrl.h"
#include "browser/Str.h"
#include "browser/ahead/FetchHeaders.h"

#include <QJsonObject>
#include <QString>

namespace {
// The types that the browser shows as a page. Everything else is either saved as a download,
// played (audio, video) or handed to a viewer; a missing type would be guessed from the bytes.
bool isShownAsPage(const QString& contentType)
{
    const QString type = contentType.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
    static const QStringList pageTypes{
        str("text/html"), str("application/xhtml+xml"), str("text/plain"),
        str("text/xml"),  str("application/xml"),       str("application/json"),
        str("text/css"),  str("text/javascript"),       str("application/javascript")};
    return pageTypes.contains(type) ||
           (type.startsWith(QLatin1String("image/")) && type.size() > 6);
}
} // namespace

bool HiddenResponsePolicy::mayLoad(int statusCode, const QJsonArray& responseHeaders)
{
    // Redirects and empty answers never turn into downloads themselves.
    if (isRedirect(statusCode) || statusCode == 204 || statusCode == 205)
        return true;
    const QString disposition =
        FetchHeaders::value(responseHeaders, QLatin1String("content-disposition"));
    if (disposition.trimmed().startsWith(QLatin1String("attachment"), Qt::CaseInsensitive))
        return false;
    return isShownAsPage(FetchHeaders::value(responseHeaders, QLatin1String("content-type")));
}

bool HiddenResponsePolicy::redirectLeavesTheWeb(const QJsonArray& responseHeaders)
{
    const QString location = FetchHeaders::value(responseHeaders, QLatin1String("location"));
    const QString scheme = urlScheme(location);
    return !scheme.isEmpty() && scheme != QLatin1String("http") && scheme != QLatin1String("https");
}

QJsonArray HiddenResponsePolicy::sandboxedHeaders(const QJsonArray& responseHeaders)
{
    QJsonArray headers = FetchHeaders::forWholeBody(responseHeaders);
    headers.append(QJsonObject{{str("name"), str("Content-Security-Policy")},
                               {str("value"), str("sandbox allow-same-origin")}});
    // A page type stays what the server said: the browser would otherwise take a text/plain
    // body of binary bytes for a file and save it.
    headers.append(
        QJsonObject{{str("name"), str("X-Content-Type-Options")}, {str("value"), str("nosniff")}});
    return headers;
}

bool HiddenResponsePolicy::isTooLargeToHold(const QJsonArray& responseHeaders)
{
    bool isNumber = false;
    const qint64 length = FetchHeaders::value(responseHeaders, QLatin1String("content-length"))
                              .trimmed()
                              .toLongLong(&isNumber);
    return isNumber && length > MaxDocumentBytes;
}
