#include "web/WebAddress.h"

#include <QCryptographicHash>
#include <QStandardPaths>
#include <QUrl>

namespace WebAddress {

bool is(const QString& name)
{
    return name.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

QString shown(const QString& name)
{
    if (!is(name))
        return name;
    return QUrl(name).toString(QUrl::RemoveUserInfo);
}

QString cacheFile(const QString& address)
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    // A name that holds neither the address's characters nor its password.
    const QByteArray key =
        QCryptographicHash::hash(address.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return base + QStringLiteral("/Quillon2/web/") + QString::fromLatin1(key) +
           QStringLiteral(".qld");
}

std::optional<QString> notAList(const QByteArray& body, const QByteArray& contentType)
{
    if (body.contains('\0'))
        return QStringLiteral("it holds binary data, not a list of links");
    const QByteArray start = body.left(512).trimmed().toLower();
    if (contentType.toLower().startsWith("text/html") || start.startsWith("<!doctype") ||
        start.startsWith("<html"))
        return QStringLiteral("it holds a web page, not a list of links");
    return std::nullopt;
}

} // namespace WebAddress
