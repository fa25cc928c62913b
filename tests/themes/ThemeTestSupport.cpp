#include "ThemeTestSupport.h"

#include "support/Harness.h"

#include <QProcess>

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

ImmutableFile::ImmutableFile(QString path) : m_path(std::move(path))
{
    made = setFlag("+i");
}

ImmutableFile::~ImmutableFile()
{
    if (made)
        setFlag("-i");
}

bool ImmutableFile::setFlag(const char* flag) const
{
    QProcess chattr;
    chattr.start(QStringLiteral("chattr"), {QString::fromLatin1(flag), m_path});
    return chattr.waitForFinished() && chattr.exitStatus() == QProcess::NormalExit &&
           chattr.exitCode() == 0;
}
