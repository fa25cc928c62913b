#include "browser/HiddenResponsePolicy.h"

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
    if ((statusCode >= 300 && statusCode < 400) || statusCode == 204 || statusCode == 205)
        return true;
    const QString disposition = header(responseHeaders, QLatin1String("content-disposition"));
    if (disposition.trimmed().startsWith(QLatin1String("attachment"), Qt::CaseInsensitive))
        return false;
    return isShownAsPage(header(responseHeaders, QLatin1String("content-type")));
}
