#include "platform/InstallDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

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
    const QFileInfo info(dir);
    if (info.exists() || QFileInfo(QDir::cleanPath(dir)).exists())
        return;
    if (!QDir().mkpath(dir))
        return;
    initResources();
    copyResource(QStringLiteral("default.qld"), dir);
    copyResource(QStringLiteral("newquillon.htm"), dir);
}
