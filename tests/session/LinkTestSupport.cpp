#include "LinkTestSupport.h"

#include "session/Module1.h"
#include "session/ThemeDocument.h"
#include "session/Toolbar.h"
#include "support/SessionHarness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

QString numberedLink(int number)
{
    return QStringLiteral("http://site.example/%1").arg(number);
}

QByteArray numberedLinks(int count)
{
    QByteArray bytes;
    for (int i = 1; i <= count; ++i)
        bytes += numberedLink(i).toUtf8() + "\r\n";
    return bytes;
}

void loadTheme(SessionHarness& h, const QByteArray& bytes, const QString& name)
{
    h.write(name, bytes);
    h.run([&h, &name] { h.m->theme().LoadThemeFile(h.path(name)); });
}

void startWithTheme(SessionHarness& h, const QByteArray& bytes, const QString& name)
{
    h.start();
    loadTheme(h, bytes, name);
    h.browsers.calls.clear();
    h.dialogs.boxes.clear();
}

QStringList comboEntries(const SessionHarness& h)
{
    return h.toolbar.entries;
}

QString comboText(const SessionHarness& h)
{
    return h.m->toolbar->shownText();
}

QString caption(const SessionHarness& h)
{
    return h.toolbar.caption;
}

int openDescriptorsOn(const QString& path)
{
    const QString target = QFileInfo(path).absoluteFilePath();
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System)) {
        if (QFile::symLinkTarget(fds.filePath(fd)) == target)
            ++count;
    }
    return count;
}

QStringList folderEntries(const QString& dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}
