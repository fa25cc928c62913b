#include "browser/HiddenResponsePolicy.h"

#include "browser/NavigationUrl.h"

#include <QJsonObject>
#include <QString>

namespace {
QString header(const QJsonArray& headers, QLatin1String name)
{
    for (const QJsonValue& entry : headers) {
        const QJsonObject pair = entry.toObject();
        if (pair.value(QLatin1String("name")).toString().compare(name, Qt::CaseInsensitive) == 0)
            return pair.value(QLatin1String("value")).toString();
    }
    return {};
}

// The types that the browser shows as a page. Everything else is either saved as a download,
// played (audio, video) or handed to a viewer; a missing type would be guessed from the bytes.
bool isShownAsPage(const QString& contentType)
{
    const QString type = contentType.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
    static const QStringList pageTypes{QStringLiteral("text/html"),
                                       QStringLiteral("application/xhtml+xml"),
                                       QStringLiteral("text/plain"),
                                       QStringLiteral("text/xml"),
                                       QStringLiteral("application/xml"),
                                       QStringLiteral("application/json"),
                                       QStringLiteral("text/css"),
                                       QStringLiteral("text/javascript"),
                                       QStringLiteral("application/javascript")};
    return pageTypes.contains(type) ||
           (type.startsWith(QLatin1String("image/")) && type.size() > 6);
}
} // namespace

bool HiddenResponsePolicy::mayLoad(int statusCode, const QJsonArray& responseHeaders)
{
    // Redirects and empty answers never turn into downloads themselves.
    if (isRedirect(statusCode) || statusCode == 204 || statusCode == 205)
        return true;
    const QString disposition = header(responseHeaders, QLatin1String("content-disposition"));
    if (disposition.trimmed().startsWith(QLatin1String("attachment"), Qt::CaseInsensitive))
        return false;
    return isShownAsPage(header(responseHeaders, QLatin1String("content-type")));
}

bool HiddenResponsePolicy::redirectLeavesTheWeb(const QJsonArray& responseHeaders)
{
    const QString location = header(responseHeaders, QLatin1String("location"));
    const QString scheme = urlScheme(location);
    return !scheme.isEmpty() && scheme != QLatin1String("http") && scheme != QLatin1String("https");
}

QJsonArray HiddenResponsePolicy::sandboxedHeaders(const QJsonArray& responseHeaders)
{
    // The body is handed over decoded and whole; cookies were taken when the response came.
    static const QStringList dropped{
        QStringLiteral("content-encoding"), QStringLiteral("content-length"),
        QStringLiteral("transfer-encoding"), QStringLiteral("set-cookie")};
    QJsonArray headers;
    for (const QJsonValue& entry : responseHeaders) {
        const QString name = entry.toObject().value(QLatin1String("name")).toString().toLower();
        if (!dropped.contains(name))
            headers.append(entry);
    }
    headers.append(
        QJsonObject{{QStringLiteral("name"), QStringLiteral("Content-Security-Policy")},
                    {QStringLiteral("value"), QStringLiteral("sandbox allow-same-origin")}});
    // A page type stays what the server said: the browser would otherwise take a text/plain
    // body of binary bytes for a file and save it.
    headers.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("X-Content-Type-Options")},
                               {QStringLiteral("value"), QStringLiteral("nosniff")}});
    return headers;
}
