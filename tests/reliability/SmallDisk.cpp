#include "SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {
constexpr qint64 pageSize = 4096;

QHash<QString, QByteArray> filesIn(const QString& folder)
{
    QHash<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        QFile file(folder + QLatin1Char('/') + name);
        if (file.open(QIODevice::ReadOnly))
            files.insert(name, file.readAll());
    }
    return files;
}
} // namespace

SmallDisk::SmallDisk(QString folder) : m_folder(std::move(folder))
{
    if (::geteuid() != 0) {
        m_whyNot = QStringLiteral("only root can mount the small disk that a full disk needs");
        return;
    }
    const QHash<QString, QByteArray> files = filesIn(m_folder);
    if (::mount("tmpfs", QFile::encodeName(m_folder).constData(), "tmpfs", 0, "size=512k") != 0) {
        m_whyNot =
            QStringLiteral("mounting a tmpfs failed: ") + QString::fromLocal8Bit(strerror(errno));
        return;
    }
    m_mounted = true;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QFile file(m_folder + QLatin1Char('/') + it.key());
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size())
            m_whyNot = QStringLiteral("the folder's files do not fit on the small disk");
    }
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

bool SmallDisk::fill()
{
    const QByteArray name = QFile::encodeName(m_folder + QStringLiteral("/.filler"));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const QByteArray chunk(64 * 1024, 'f');
    ssize_t written = 0;
    while ((written = ::write(fd, chunk.constData(), size_t(chunk.size()))) > 0) {
    }
    const bool full = written < 0 && errno == ENOSPC;
    ::close(fd);
    return full;
}

bool SmallDisk::padToPageEnd(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::Append))
        return false;
    const qint64 missing = (pageSize - file.size() % pageSize) % pageSize;
    return file.write(QByteArray(missing, '#')) == missing && file.flush();
}
