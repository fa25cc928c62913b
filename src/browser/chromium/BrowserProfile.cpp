#include "browser/chromium/BrowserProfile.h"

#include "browser/Str.h"
#include "platform/Failure.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <unistd.h>

namespace {
QString linkTarget(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    char target[PATH_MAX];
    const ssize_t length = readlink(name.constData(), target, sizeof target - 1);
    return length > 0 ? QString::fromLocal8Bit(target, length) : QString();
}

QString hostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    return gethostname(name, sizeof name - 1) == 0 ? QString::fromLocal8Bit(name) : QString();
}

// Reads the JSON object in `file`, lets `change` edit it and writes it back in one replace when
// `change` returns true.
void editJsonFile(const QString& file, const std::function<bool(QJsonObject&)>& change)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return;
    const QJsonDocument document = QJsonDocument::fromJson(in.readAll());
    in.close();
    if (!document.isObject())
        return;
    QJsonObject object = document.object();
    if (!change(object))
        return;
    QSaveFile out(file);
    if (out.open(QIODevice::WriteOnly)) {
        out.write(QJsonDocument(object).toJson(QJsonDocument::Compact));
        out.commit();
    }
}

bool isUsableDirectory(const QString& path)
{
    const QFileInfo info(path);
    return QDir().mkpath(path) && info.isDir() && info.isWritable();
}
} // namespace

QString BrowserProfile::defaultPath()
{
    const QString configHome =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return configHome.isEmpty() ? QString() : configHome + str("/Quillon2/browser-profile");
}

bool BrowserProfile::isHeldByRunningBrowser(const QString& path)
{
    // The browser marks its profile with a link named SingletonLock to "<host>-<pid>".
    const QString lock = linkTarget(path + str("/SingletonLock"));
    const qsizetype dash = lock.lastIndexOf(QLatin1Char('-'));
    if (dash <= 0)
        return false;
    bool isNumber = false;
    const pid_t pid = pid_t(lock.mid(dash + 1).toLong(&isNumber));
    if (!isNumber)
        return false;
    // A lock from another machine that shares this home cannot be checked: treat it as held.
    if (lock.left(dash) != hostName())
        return true;
    // Alive, whether or not it is ours to signal.
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

BrowserProfile BrowserProfile::choose(const QString& preferred)
{
    const QString path = preferred.isEmpty() ? defaultPath() : preferred;
    if (!path.isEmpty() && isUsableDirectory(path) && !isHeldByRunningBrowser(path))
        return BrowserProfile(QDir(path).absolutePath(), false);
    return makeTemporary();
}

BrowserProfile BrowserProfile::makeTemporary()
{
    QByteArray pattern = QFile::encodeName(QDir::tempPath() + str("/quillon-browser-XXXXXX"));
    if (!mkdtemp(pattern.data()))
        throw Failure(FailureNumber::CannotCreateObject);
    return BrowserProfile(QFile::decodeName(pattern), true);
}

void BrowserProfile::preventSessionRestore(const QString& path)
{
    // The browser's values: 1 restores the last session, 4 opens given pages, 5 a new tab page,
    // 6 both the last session and given pages.
    constexpr int newTabPage = 5;
    editJsonFile(path + str("/Default/Preferences"), [](QJsonObject& preferences) {
        QJsonObject session = preferences.value(str("session")).toObject();
        const QJsonValue startup = session.value(str("restore_on_startup"));
        if (startup.isUndefined() || startup.toInt(-1) == newTabPage)
            return false;
        session.insert(str("restore_on_startup"), newTabPage);
        preferences.insert(str("session"), session);
        return true;
    });
    editJsonFile(path + str("/Local State"), [](QJsonObject& state) {
        if (!state.value(str("was_restarted")).toBool())
            return false;
        state.insert(str("was_restarted"), false);
        return true;
    });
}
