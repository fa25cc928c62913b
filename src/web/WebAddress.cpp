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

namespace {
// Where the user name and password of `address` lie: from after "//" to the last '@' of the
// authority (the '@' included); an empty range when there are none.
struct UserInfo
{
    qsizetype from = 0;
    qsizetype length = 0;
};

UserInfo userInfoOf(const QString& address)
{
    const qsizetype from = address.indexOf(QLatin1String("//")) + 2;
    qsizetype end = from;
    while (end < address.size() && !QStringView(u"/?#").contains(address.at(end)))
        ++end;
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'), end - 1);
    return at >= from ? UserInfo{from, at + 1 - from} : UserInfo{from, 0};
}
} // namespace

QUrl url(const QString& address)
{
    const UserInfo info = userInfoOf(address);
    if (info.length == 0)
        return QUrl(address);
    const QString userInfo =
        address.mid(info.from, info.length - 1).replace(QLatin1Char('@'), QLatin1String("%40"));
    return QUrl(QString(address).replace(info.from, info.length - 1, userInfo));
}

QString shown(const QString& name)
{
    if (!is(name))
        return name;
    const UserInfo info = userInfoOf(name);
    return QString(name).remove(info.from, info.length);
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
