#include "browser/window/HistoryStep.h"

#include "browser/Str.h"
#include "browser/devtools/DevToolsConnection.h"

#include <QJsonArray>
#include <QUrl>

namespace {
// An address as the browser keeps it in its history: a web address with no path has "/".
QUrl comparableUrl(const QString& address)
{
    QUrl url(address);
    if (url.path().isEmpty() &&
        (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")))
        url.setPath(str("/"));
    return url;
}
} // namespace

std::optional<int> previousEntryShowing(DevToolsConnection& connection, const QString& sessionId,
                                        const QString& address)
{
    const QJsonObject history = connection.command(str("Page.getNavigationHistory"), {}, sessionId);
    const int current = history.value(str("currentIndex")).toInt();
    const QJsonArray entries = history.value(str("entries")).toArray();
    if (current < 1 || current >= entries.size())
        return std::nullopt;
    const QJsonObject previous = entries.at(current - 1).toObject();
    if (previous.value(str("transitionType")).toString() == QLatin1String("form_submit"))
        return std::nullopt;
    const QUrl wanted = comparableUrl(address);
    if (comparableUrl(previous.value(str("url")).toString()) != wanted &&
        comparableUrl(previous.value(str("userTypedURL")).toString()) != wanted)
        return std::nullopt;
    return previous.value(str("id")).toInt();
}
