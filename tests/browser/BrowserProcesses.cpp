#include "BrowserProcesses.h"

#include <QDir>
#include <QFile>

namespace {
pid_t processGroupOf(const QString& pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // "pid (name) state ppid pgrp ...": the name may hold blanks, so count after its ')'.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 2 ? pid_t(fields[2].toInt()) : -1;
}

QByteArray commandLineOf(const QString& pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isZombie(const QString& pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) == "Z";
}
} // namespace

QList<pid_t> browserProcesses(pid_t processGroup, const QString& profilePath)
{
    QList<pid_t> found;
    const QByteArray profile = QFile::encodeName(profilePath);
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isPid = false;
        const pid_t pid = pid_t(entry.toInt(&isPid));
        if (!isPid || isZombie(entry))
            continue;
        if ((processGroup > 0 && processGroupOf(entry) == processGroup) ||
            (!profile.isEmpty() && commandLineOf(entry).contains(profile)))
            found.append(pid);
    }
    return found;
}
