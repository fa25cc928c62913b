#include "browser/NavigationUrl.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace {
// A scheme of one letter is a drive ("c:\..."), not a scheme.
bool hasScheme(const QString& link)
{
    const QUrl url(link, QUrl::StrictMode);
    return url.isValid() && url.scheme().size() > 1 && link.contains(QLatin1Char(':'));
}
} // namespace

QString navigationUrl(const QString& link)
{
    QString text = link.trimmed();
    if (text.isEmpty())
        return QStringLiteral("about:blank");
    if (text.startsWith(QLatin1Char('/')))
        return QUrl::fromLocalFile(text).toString(QUrl::FullyEncoded);
    if (hasScheme(text))
        return text;
    const QUrl guessed = QUrl::fromUserInput(text);
    return guessed.isValid() ? guessed.toString(QUrl::FullyEncoded) : text;
}

QString shownAddress(const QString& link)
{
    const auto blank = [] { return QStringLiteral("about:blank"); };
    // Measured on the link itself first: reading a link of many megabytes as an address would
    // cost several times its size before the length rule below refused it anyway.
    if (link.size() > MaxBrowserUrlLength || isScriptUrl(link))
        return blank();
    const QString address = navigationUrl(link);
    // An address longer than the browser takes, or one that it cannot read, would leave the page
    // before on show with no sign of it.
    if (isTooLongForBrowser(address))
        return blank();
    const QUrl parsed(address);
    if (!parsed.isValid() || (isWorthLoadingAhead(address) && parsed.host().isEmpty()))
        return blank();
    static const QStringList shown{QStringLiteral("http"), QStringLiteral("https"),
                                   QStringLiteral("file"), QStringLiteral("data"),
                                   QStringLiteral("about")};
    return shown.contains(urlScheme(address)) ? address : blank();
}

bool isWorthLoadingAhead(const QString& url)
{
    const QString scheme = QUrl(url).scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool isPrerenderedFrom(const QString& shown, const QString& next)
{
    const QUrl from(shown);
    const QUrl to(next);
    const auto portOf = [](const QUrl& url) {
        return url.port(
            url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80);
    };
    return isWorthLoadingAhead(next) && from.scheme().toLower() == to.scheme().toLower() &&
           from.host() == to.host() && portOf(from) == portOf(to) &&
           from.adjusted(QUrl::RemoveFragment) != to.adjusted(QUrl::RemoveFragment);
}

bool isAnotherSite(const QString& shown, const QString& next)
{
    const QUrl from(shown);
    const QUrl to(next);
    const auto isWeb = [](const QUrl& url) {
        const QString scheme = url.scheme().toLower();
        return url.isValid() && !url.host().isEmpty() &&
               (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
    };
    if (!isWeb(from) || !isWeb(to))
        return false;
    if (from.scheme().toLower() != to.scheme().toLower())
        return true;
    // A name's site ends in its last two labels at least; an IP address is a site of its own,
    // but one that the browser reads in another notation (hexadecimal, octal, fewer parts) is
    // in doubt.
    static const QRegularExpression canonicalIpv4(
        QStringLiteral("^(0|[1-9][0-9]{0,2})(\\.(0|[1-9][0-9]{0,2})){3}$"));
    const auto site = [](const QUrl& url) -> std::optional<QString> {
        QString host = url.host().toLower();
        if (host.endsWith(QLatin1Char('.')))
            host.chop(1);
        const QString last = host.section(QLatin1Char('.'), -1);
        if (host.contains(QLatin1Char(':')) || canonicalIpv4.match(host).hasMatch())
            return host;
        if (last.isEmpty() || last.at(0).isDigit())
            return std::nullopt;
        return host.section(QLatin1Char('.'), -2);
    };
    const auto a = site(from);
    const auto b = site(to);
    return a && b && *a != *b;
}

QString urlScheme(const QString& address)
{
    QString scheme;
    for (const QChar c : address) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            continue;
        if (scheme.isEmpty() && c.unicode() <= 0x20)
            continue;
        if (c == QLatin1Char(':'))
            return scheme.toLower();
        const bool letter = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                            (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
        const bool other = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                           c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.');
        if (!letter && (scheme.isEmpty() || !other))
            return {};
        // Longer than any scheme worth telling apart; the rest of a long link is not read.
        if (scheme.size() > 32)
            return {};
        scheme.append(c);
    }
    return {};
}

bool isScriptUrl(const QString& address)
{
    return urlScheme(address) == QLatin1String("javascript");
}

bool isTooLongForBrowser(const QString& address)
{
    if (address.size() > MaxBrowserUrlLength)
        return true;
    // Encoding can make an address up to nine times longer (a character of four UTF-8 bytes,
    // each written as %XX); only then is it worth encoding to know.
    if (address.size() * 9 <= MaxBrowserUrlLength)
        return false;
    return QUrl(address).toEncoded().size() > MaxBrowserUrlLength;
}
