#include "platform/Clock.h"

QString Clock::format(const QDateTime& moment, const QString& pattern)
{
    const QDate date = moment.date();
    const QTime time = moment.time();
    auto two = [](int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    if (pattern == QLatin1String("mm/dd/yy"))
        return two(date.month()) + '/' + two(date.day()) + '/' + two(date.year() % 100);
    if (pattern == QLatin1String("m/d/yy"))
        return QString::number(date.month()) + '/' + QString::number(date.day()) + '/' +
               two(date.year() % 100);
    if (pattern == QLatin1String("hh:mm"))
        return two(time.hour()) + ':' + two(time.minute());
    return moment.toString(pattern);
}
