#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>

class QTcpServer;

struct HttpResponse
{
    int status = 200;
    QByteArray contentType = "text/html; charset=utf-8";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    // The body is sent this many times over, as the connection takes it: a page of many
    // megabytes costs the server one copy of its body.
    int repeat = 1;
    // Without Content-Length, the body ends where the connection does.
    bool declareLength = true;
};

// A small HTTP server on 127.0.0.1 for the browser's tests and benchmark. It answers from a
// thread of its own, because the browser's callers read the pipe with poll() and do not run the
// event loop while they wait for a page.
class LocalHttpServer
{
public:
    using Handler = std::function<HttpResponse(const QString& path)>;

    // `delayMs`: how long every answer is held back, as a slow site would.
    explicit LocalHttpServer(Handler handler, int delayMs = 0);
    ~LocalHttpServer();

    QString url(const QString& path) const;
    // Paths asked for so far, in order.
    QStringList requestedPaths() const;
    int requestCount(const QString& path) const;
    // The head (request line and headers) of each request for `path`, in order.
    QList<QByteArray> requestHeads(const QString& path) const;

private:
    void record(const QString& path, const QByteArray& head);

    Handler m_handler;
    int m_delayMs;
    quint16 m_port = 0;
    QThread m_thread;
    QObject* m_context = nullptr; // lives in m_thread
    QTcpServer* m_server = nullptr;
    mutable QMutex m_mutex;
    QStringList m_paths;
    QList<QByteArray> m_heads; // of m_paths' requests
};
