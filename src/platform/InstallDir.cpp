#include "platform/InstallDir.h"

#include "platform/Resources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

QString InstallDir::locate()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quillon2/");
}

namespace {
bool copyResource(const QString& name, const QString& dir)
{
    QFile source(QStringLiteral(":/install/") + name);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    QSaveFile target(dir + name);
    if (!target.open(QIODevice::WriteOnly))
        return false;
    target.write(source.readAll());
    return target.commit();
}
} // namespace

void InstallDir::installIfMissing(const QString& dir)
{
    const QString target = QDir::cleanPath(dir);
    if (QFileInfo::exists(target))
        return;
    const QString parent = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(parent))
        return;
    // Filled beside its final place and renamed into it, so that a start that is killed or
    // meets a full disk half-way leaves no folder that a later start would take as installed.
    QTemporaryDir staging(target + QStringLiteral(".install-XXXXXX"));
    if (!staging.isValid())
        return;
    initResources();
    const QString staged = staging.path() + QLatin1Char('/');
    if (!copyResource(QStringLiteral("default.qld"), staged) ||
        !copyResource(QStringLiteral("newquillon.htm"), staged))
        return;
    QFile::setPermissions(staging.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadGroup | QFile::ExeGroup |
                                              QFile::ReadOther | QFile::ExeOther);
    if (::rename(QFile::encodeName(staging.path()).constData(),
                 QFile::encodeName(target).constData()) == 0)
        staging.setAutoRemove(false);
}
