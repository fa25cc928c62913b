#include "LocalHttpServer.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {
QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

QByteArray head(const HttpResponse& response)
{
    QByteArray text = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      reasonPhrase(response.status) + "\r\n";
    if (!response.contentType.isEmpty())
        text += "Content-Type: " + response.contentType + "\r\n";
    for (const auto& [name, value] : response.headers)
        text += name + ": " + value + "\r\n";
    if (response.declareLength)
        text += "Content-Length: " + QByteArray::number(response.body.size() * response.repeat) +
                "\r\n";
    text += "Connection: close\r\n\r\n";
    return text;
}

// Writes the body's copies while the socket holds less than a few of them unsent, then closes.
void sendBody(QTcpSocket* socket, const HttpResponse& response)
{
    auto left = std::make_shared<int>(response.repeat);
    auto writeMore = [socket, body = response.body, left] {
        while (*left > 0 && socket->bytesToWrite() < qint64(1) << 20) {
            socket->write(body);
            --*left;
        }
        if (*left == 0) {
            --*left;
            socket->disconnectFromHost();
        }
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, writeMore);
    writeMore();
}
} // namespace

LocalHttpServer::LocalHttpServer(Handler handler, int delayMs)
    : m_handler(std::move(handler)), m_delayMs(delayMs)
{
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            m_server = new QTcpServer;
            m_server->listen(QHostAddress::LocalHost, 0);
            m_port = m_server->serverPort();
            QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] {
                while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                    QObject::connect(socket, &QTcpSocket::disconnected, socket,
                                     &QObject::deleteLater);
                    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                        if (socket->property("answered").toBool() ||
                            !socket->peek(1 << 16).contains("\r\n\r\n"))
                            return;
                        socket->setProperty("answered", true);
                        const QByteArray request = socket->peek(1 << 16);
                        const QByteArray line = socket->readLine();
                        const QString path = QString::fromLatin1(line.split(' ').value(1));
                        record(path, request.left(request.indexOf("\r\n\r\n") + 2));
                        const HttpResponse response = m_handler(path);
                        QTimer::singleShot(m_delayMs, socket, [socket, response] {
                            socket->write(head(response));
                            sendBody(socket, response);
                        });
                    });
                }
            });
        },
        Qt::BlockingQueuedConnection);
}

LocalHttpServer::~LocalHttpServer()
{
    QMetaObject::invokeMethod(
        m_context, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_context;
}

QString LocalHttpServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

QStringList LocalHttpServer::requestedPaths() const
{
    QMutexLocker lock(&m_mutex);
    return m_paths;
}

int LocalHttpServer::requestCount(const QString& path) const
{
    QMutexLocker lock(&m_mutex);
    return int(m_paths.count(path));
}

QList<QByteArray> LocalHttpServer::requestHeads(const QString& path) const
{
    QMutexLocker lock(&m_mutex);
    QList<QByteArray> heads;
    for (qsizetype i = 0; i < m_paths.size(); ++i) {
        if (m_paths[i] == path)
            heads.append(m_heads[i]);
    }
    return heads;
}

void LocalHttpServer::record(const QString& path, const QByteArray& head)
{
    QMutexLocker lock(&m_mutex);
    m_paths.append(path);
    m_heads.append(head);
}
