#include "browser/NavigationUrl.h"

#include <QUrl>

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
