#include "ThemeTestSupport.h"

#include "support/Harness.h"

QStringList logSince(const Harness& h, qsizetype before)
{
    return h.logMessages().mid(before);
}

QStringList navigations(const Harness& h)
{
    return h.browsers.calls.filter(QStringLiteral(".Navigate("));
}

QString opensNormally(const QString& themeFile)
{
    return QLatin1Char(' ') + themeFile + QStringLiteral(" opens normally");
}
