#include "browser/NavigationUrl.h"

#include <QUrl>

#include <algorithm>

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
    const QString text = link.trimmed();
    if (text.isEmpty())
        return QStringLiteral("about:blank");
    if (text.startsWith(QLatin1Char('/')))
        return QUrl::fromLocalFile(text).toString(QUrl::FullyEncoded);
    if (hasScheme(text))
        return text;
    const QUrl guessed = QUrl::fromUserInput(text);
    return guessed.isValid() ? guessed.toString(QUrl::FullyEncoded) : text;
}

bool isWorthLoadingAhead(const QString& url)
{
    const QString scheme = QUrl(url).scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool isScriptUrl(const QString& address)
{
    // As the URL standard parses: tabs and line breaks are dropped wherever they are, then
    // C0 control characters and blanks are taken off the front.
    QString text;
    text.reserve(std::min<qsizetype>(address.size(), 64));
    for (const QChar c : address) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            continue;
        if (text.isEmpty() && c.unicode() <= 0x20)
            continue;
        if (c == QLatin1Char(':'))
            return text.compare(QLatin1String("javascript"), Qt::CaseInsensitive) == 0;
        // No scheme is longer; the rest of a long link need not be read.
        if (text.size() > 10)
            return false;
        text.append(c);
    }
    return false;
}
