#include "app/TilingWindowManager.h"

namespace {
// The message that runs commands: a magic text, the payload's length and the type 0, both in
// the machine's own byte order.
QByteArray runCommand(const QByteArray& command)
{
    QByteArray message("i3-ipc");
    const quint32 header[2]{quint32(command.size()), 0};
    message.append(reinterpret_cast<const char*>(header), sizeof header);
    return message + command;
}
} // namespace

TilingWindowManager* TilingWindowManager::ofSession(QObject* parent)
{
    for (const char* name : {"SWAYSOCK", "I3SOCK"}) {
        const QString path = qEnvironmentVariable(name);
        if (!path.isEmpty())
            return new TilingWindowManager(path, parent);
    }
    return nullptr;
}

TilingWindowManager::TilingWindowManager(const QString& socketPath, QObject* parent)
    : QObject(parent)
{
    // The answers say only whether the commands ran; a window gone meanwhile is no fault.
    connect(&m_socket, &QLocalSocket::readyRead, this, [this] { m_socket.readAll(); });
    connect(&m_socket, &QLocalSocket::connected, this, &TilingWindowManager::send);
    m_socket.connectToServer(socketPath);
}

void TilingWindowManager::floatAt(quint32 window, const QRect& rect)
{
    m_waiting << QStringLiteral("[id=%1] floating enable, border none, resize set %2 %3, "
                                "move absolute position %4 %5")
                     .arg(window)
                     .arg(rect.width())
                     .arg(rect.height())
                     .arg(rect.x())
                     .arg(rect.y())
                     .toUtf8();
    send();
}

void TilingWindowManager::send()
{
    if (m_socket.state() != QLocalSocket::ConnectedState)
        return;
    for (const QByteArray& command : std::as_const(m_waiting))
        m_socket.write(runCommand(command));
    m_waiting.clear();
}
