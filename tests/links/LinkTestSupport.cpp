#include "LinkTestSupport.h"

#include "app/ClassicComboBox.h"
#include "app/Form1.h"
#include "links/LoadThemeFile.h"
#include "support/Harness.h"

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

void loadTheme(Harness& h, const QByteArray& bytes, const QString& name)
{
    h.write(name, bytes);
    h.m->ThemeFile = h.path(name);
    h.run([&h] { LoadThemeFile(*h.m); });
}

void startWithTheme(Harness& h, const QByteArray& bytes, const QString& name)
{
    h.start();
    loadTheme(h, bytes, name);
    h.browsers.calls.clear();
    h.dialogs.boxes.clear();
}

void reloadInPlace(Harness& h)
{
    h.form->Combo1->Clear();
    h.run([&h] { ReloadThemeFile(*h.m, h.m->LinkIndex); });
}

QStringList comboEntries(const Harness& h)
{
    QStringList entries;
    for (int i = 0; i < h.form->Combo1->count(); ++i)
        entries << h.form->Combo1->itemText(i);
    return entries;
}

QString comboText(const Harness& h)
{
    return h.form->Combo1->Text();
}

QString caption(const Harness& h)
{
    return h.form->windowTitle();
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
