#include "browser/ahead/FetchHeaders.h"

#include <QJsonObject>
#include <QStringList>

namespace FetchHeaders {

QString value(const QJsonArray& headers, QLatin1String name)
{
    for (const QJsonValue entry : headers) {
        const QJsonObject pair = entry.toObject();
        if (pair.value(QLatin1String("name")).toString().compare(name, Qt::CaseInsensitive) == 0)
            return pair.value(QLatin1String("value")).toString();
    }
    return {};
}

QJsonArray forWholeBody(const QJsonArray& headers)
{
    static const QStringList dropped{
        QStringLiteral("content-encoding"), QStringLiteral("content-length"),
        QStringLiteral("transfer-encoding"), QStringLiteral("set-cookie")};
    QJsonArray kept;
    for (const QJsonValue entry : headers) {
        const QString name = entry.toObject().value(QLatin1String("name")).toString().toLower();
        if (!dropped.contains(name))
            kept.append(entry);
    }
    return kept;
}

} // namespace FetchHeaders
