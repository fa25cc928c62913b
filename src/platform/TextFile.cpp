#include "platform/TextFile.h"

#include "platform/Failure.h"
#include "platform/LineSplitter.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
int openFlags(TextFile::Mode mode)
{
    switch (mode) {
    case TextFile::Mode::Read:
        return O_RDONLY;
    case TextFile::Mode::Write:
        return O_WRONLY | O_CREAT | O_TRUNC;
    case TextFile::Mode::Append:
        return O_WRONLY | O_CREAT | O_APPEND;
    }
    return O_RDONLY;
}

[[noreturn]] void failWithErrno(const QString& path)
{
    throw Failure::fromErrno(errno, path);
}

QByteArray readDescriptor(int fd, const QString& path)
{
    QByteArray content;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            return content;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            failWithErrno(path);
        }
        content.append(buffer, got);
    }
}
} // namespace

TextFile::TextFile(const QString& path, Mode mode) : m_path(path)
{
    if (path.isEmpty())
        throw Failure(FailureNumber::BadFileName);
    // A pipe opened for reading would block until a writer came: open without waiting and
    // refuse anything that is not a plain file, as a folder is refused.
    const int waitFlag = mode == Mode::Read ? O_NONBLOCK : 0;
    m_fd =
        ::open(QFile::encodeName(path).constData(), openFlags(mode) | O_CLOEXEC | waitFlag, 0644);
    if (m_fd < 0)
        failWithErrno(path);
    if (mode == Mode::Read) {
        struct stat info
        {
        };
        if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(m_fd);
            m_fd = -1;
            throw Failure(FailureNumber::PermissionDenied);
        }
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    }
}

void TextFile::load()
{
    if (m_loaded)
        return;
    m_content = readDescriptor(m_fd, m_path);
    m_loaded = true;
}

TextFile::~TextFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TextFile::atEnd()
{
    load();
    return m_pos >= m_content.size();
}

QByteArray TextFile::readLine()
{
    load();
    const TextLine line = LineSplitter::lineAt(m_content, m_pos);
    m_pos = line.next;
    return m_content.mid(line.start, line.end - line.start);
}

void TextFile::writeLine(const QByteArray& text)
{
    write(text + "\r\n");
}

void TextFile::write(const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t done = ::write(m_fd, data, left);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            failWithErrno(m_path);
        }
        data += done;
        left -= done;
    }
}

void TextFile::close()
{
    if (m_fd < 0)
        return;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR)
        failWithErrno(m_path);
}

void TextFile::probe(const QString& path)
{
    TextFile file(path, Mode::Read);
    file.close();
}

void TextFile::remove(const QString& path)
{
    if (path.isEmpty())
        throw Failure(FailureNumber::BadFileName);
    if (::unlink(QFile::encodeName(path).constData()) != 0)
        failWithErrno(path);
}

QByteArray TextFile::readAll(const QString& path)
{
    TextFile file(path, Mode::Read);
    file.load();
    return file.m_content;
}

Outcome<QByteArray> TextFile::read(const QString& path)
{
    try {
        return readAll(path);
    } catch (const Failure& failure) {
        return Outcome<QByteArray>::failed(failure.number());
    }
}

bool TextFile::opens(const QString& path)
{
    try {
        probe(path);
        return true;
    } catch (const Failure&) {
        return false;
    }
}
