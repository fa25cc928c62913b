#include "ThemeTestSupport.h"

#include "support/SessionHarness.h"

QStringList logSince(const SessionHarness& h, qsizetype before)
{
    return h.logMessages().mid(before);
}

QStringList navigations(const SessionHarness& h)
{
    return h.browsers.calls.filter(QStringLiteral(".Navigate("));
}

QString opensNormally(const QString& themeFile)
{
    return QLatin1Char(' ') + themeFile + QStringLiteral(" opens normally");
}
