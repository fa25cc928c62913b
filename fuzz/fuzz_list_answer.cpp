#include "FuzzCheck.h"

#include "web/ListFetch.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

// The server is played by the fuzzer. The input is a chunk size (its first byte) and the
// answers to the requests in turn, separated by "@@@@": a status line, headers, redirects and
// a body as it likes, written in chunks of that size before the connection closes. Every
// address an answer sends to is taken to the fuzzer's own server, so nothing leaves the
// machine. Whatever the answers, the reading ends once, in a list within its bound or a reason
// that reads as a sentence, never in a crash or a read of a reply already let go.
namespace {
const QByteArray noMoreAnswers = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";

class LoopbackNetwork : public QNetworkAccessManager
{
public:
    quint16 port = 0;

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request,
                                 QIODevice* data) override
    {
        QUrl url = request.url();
        url.setScheme(QStringLiteral("http"));
        url.setUserInfo({});
        url.setHost(QStringLiteral("127.0.0.1"));
        url.setPort(port);
        QNetworkRequest local(request);
        local.setUrl(url);
        return QNetworkAccessManager::createRequest(op, local, data);
    }
};

struct Answers
{
    int chunk = 1;
    QList<QByteArray> answers;
    int next = 0;

    QByteArray take() { return next < answers.size() ? answers.at(next++) : noMoreAnswers; }
};

// Answers each request once its header has come, then closes the connection. A connection
// of an earlier input that is still open keeps that input's answers.
void serve(QTcpSocket* socket, const std::shared_ptr<Answers>& script)
{
    auto answered = std::make_shared<bool>(false);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, script, answered] {
        if (*answered || !socket->peek(1 << 16).contains("\r\n\r\n"))
            return;
        *answered = true;
        socket->readAll();
        const QByteArray answer = script->take();
        for (qsizetype at = 0; at < answer.size(); at += script->chunk) {
            socket->write(answer.mid(at, script->chunk));
            socket->flush();
        }
        socket->disconnectFromHost();
    });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

bool readsAsSentence(const QString& reason)
{
    return !reason.isEmpty() && !reason.contains(QLatin1String("()")) &&
           !reason.contains(QLatin1String(": )")) && !reason.contains(QLatin1String("  ")) &&
           reason == reason.trimmed();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_list_answer";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QTcpServer server;
    static LoopbackNetwork network;
    if (!server.isListening()) {
        fuzzCheck(server.listen(QHostAddress::LocalHost), "the server listens");
        network.port = server.serverPort();
    }
    if (size == 0)
        return 0;
    const QByteArray input = fuzzBytes(data, size);
    // "@@@@" separates answers; a lone '@' stays in its answer.
    const auto script = std::make_shared<Answers>(Answers{
        1 + int(quint8(input.at(0)) % 64),
        QByteArray(input.mid(1)).replace("@@@@", "\x01").split('\x01')});
    QObject::disconnect(&server, nullptr, nullptr, nullptr);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [script] {
        while (QTcpSocket* socket = server.nextPendingConnection())
            serve(socket, script);
    });

    const ListFetch::Limits limits{4096, std::chrono::milliseconds(300), std::chrono::seconds(2),
                                   5};
    int told = 0;
    ListFetch::Answer answer;
    {
        ListFetch fetch(network, limits);
        QEventLoop loop;
        QObject::connect(&fetch, &ListFetch::finished, &loop, [&](const ListFetch::Answer& a) {
            ++told;
            answer = a;
            loop.quit();
        });
        fetch.start(QStringLiteral("http://ann:p@ss@list.example/list.qld"));
        loop.exec();
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    fuzzCheck(told == 1, "the answer is told once");
    using Kind = ListFetch::Answer::Kind;
    if (answer.kind == Kind::Body)
        fuzzCheck(answer.body.size() <= limits.maxBytes, "a list within its bound");
    if (answer.kind == Kind::Failed)
        fuzzCheck(readsAsSentence(answer.reason), "the reason reads as a sentence");
    return 0;
}
