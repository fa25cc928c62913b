#include "app/SingleToolbar.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// A path is far shorter; more is not a request from a copy of this program.
constexpr qint64 longestRequest = qint64(64) * 1024;
constexpr int connectMs = 2000;
constexpr int lockMs = 10000;

// The screen that a display name leads to. The local socket is reached with the host "unix"
// or with none, and screen 0 is the one a name without a screen means: those spellings are one
// screen. "localhost:N" goes by TCP, as forwarded displays (ssh -X) do, which lead to another
// machine's screen as often as to this one's, so it stays a screen of its own.
QString screenOf(const QString& display)
{
    static const QRegularExpression form(QStringLiteral("^(.*):(\\d+)(?:\\.(\\d+))?$"));
    const QRegularExpressionMatch match = form.match(display);
    if (!match.hasMatch())
        return display;
    const QString host = match.captured(1) == QLatin1String("unix") ? QString() : match.captured(1);
    QString screen = host + QLatin1Char(':') + QString::number(match.captured(2).toULongLong());
    if (const qulonglong number = match.captured(3).toULongLong(); number != 0)
        screen += QLatin1Char('.') + QString::number(number);
    return screen;
}

// A folder that only this user can have made and can write in: a name in a shared folder that
// another user took first (or left open to others) is passed over, never used or changed.
bool isOwnPrivateFolder(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    ::mkdir(name.constData(), 0700);
    struct stat info
    {
    };
    return ::lstat(name.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The login session's runtime folder, or without a usable one a folder of this user's own:
// first in the shared temporary folder, else in the user's cache (which no other user can
// take; named after the machine, since a home may be shared between machines). Empty when
// neither will do: each copy then runs alone.
QString runtimeFolder()
{
    // Qt refuses a session folder that is not this user's own, and then says none.
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString session = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (!session.isEmpty())
            return session;
    }
    const QString user = QString::number(::geteuid());
    const QStringList candidates{
        QDir::tempPath() + QStringLiteral("/quillon-runtime-") + user,
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
            QStringLiteral("/quillon-runtime-") + QSysInfo::machineHostName()};
    for (const QString& folder : candidates) {
        if (QDir().mkpath(QFileInfo(folder).path()) && isOwnPrivateFolder(folder))
            return folder;
    }
    return {};
}
} // namespace

SingleToolbar::SingleToolbar(QString name) : m_name(std::move(name))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.setMaxPendingConnections(64);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleToolbar::receive);
}

// A socket still open reports its end as it goes, which must not reach a copy half gone.
SingleToolbar::~SingleToolbar()
{
    for (QLocalSocket* socket : m_server.findChildren<QLocalSocket*>())
        socket->disconnect(this);
}

QString SingleToolbar::socketName()
{
    const QString folder = runtimeFolder();
    if (folder.isEmpty())
        return {};
    QString display = screenOf(qEnvironmentVariable("DISPLAY"));
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.:_-]")), QStringLiteral("_"));
    return folder + QStringLiteral("/quillon-display") + display;
}

bool SingleToolbar::anotherCopyListens(const QString& name)
{
    if (name.isEmpty())
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(name);
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::copy(path.begin(), path.end(), address.sun_path);
    // Never blocks: a copy whose queue of connections is full still listens.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the socket API's own type
    const int result = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const bool listens = result == 0 || errno == EAGAIN;
    ::close(fd);
    return listens;
}

bool SingleToolbar::handOverOrListen(const QString& themeFile)
{
    if (m_name.isEmpty())
        return false;
    // Two copies started at once: the second one waits until the first listens.
    QLockFile lock(m_name + QStringLiteral(".lock"));
    lock.tryLock(lockMs);
    if (handOver(themeFile))
        return true;
    listen();
    return false;
}

bool SingleToolbar::handOver(const QString& themeFile)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(connectMs))
        return false;
    // A copy that ended meanwhile takes nothing: this one runs instead.
    if (socket.write(themeFile.toUtf8()) > 0 && !socket.waitForBytesWritten(connectMs))
        return false;
    socket.disconnectFromServer();
    return socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected();
}

// No copy answered, so whatever socket file is left belongs to a copy that is gone. A copy
// that cannot listen (no runtime directory) still runs, alone.
void SingleToolbar::listen()
{
    QLocalServer::removeServer(m_name);
    m_server.listen(m_name);
}

void SingleToolbar::receive()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        // The request is what the other copy wrote before it closed its end.
        connect(socket, &QLocalSocket::readyRead, socket, [socket] {
            if (socket->bytesAvailable() > longestRequest) {
                socket->setProperty("refused", true);
                socket->abort();
                socket->deleteLater();
            }
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            socket->deleteLater();
            if (socket->property("refused").toBool())
                return;
            m_waiting << QString::fromUtf8(socket->readAll());
            deliver();
        });
    }
}

void SingleToolbar::deliver()
{
    m_noModal.run([this] {
        while (!m_waiting.isEmpty() && !QuietMoment::modalOpen())
            emit requested(m_waiting.takeFirst());
        // A request opened a modal dialog: the rest waits for it.
        if (!m_waiting.isEmpty())
            deliver();
    });
}
