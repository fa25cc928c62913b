// A round of a screen that reads its list from a web address: the conditional request when the
// list did not change (answered 304, no body), beside the whole list asked for again, for a list
// of 50 and of 500 links. Times from asking to the answer in hand, bytes as the server sent
// them (its status line and headers, and the body).
#include "web/ListFetch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
struct Figures
{
    double medianMs = 0;
    double bytes = 0;
};

qsizetype logLines(const QString& log)
{
    QFile file(log);
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
}

// The mean bytes of the answers on the server's log lines `from` to `from + count`. The server
// writes a line once its answer has gone, so the last line may come after the answer.
double meanBytes(const QString& log, qsizetype from, qsizetype count)
{
    while (logLines(log) < from + count)
        QThread::msleep(10);
    QFile file(log);
    file.open(QIODevice::ReadOnly);
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n').mid(from, count);
    double total = 0;
    for (const QByteArray& line : lines) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        total += entry["headers"].toInt() + entry["body"].toInt();
    }
    return lines.isEmpty() ? 0 : total / double(lines.size());
}

// The benchmark alone waits for an answer; the program never does.
ListFetch::Answer fetchNow(QNetworkAccessManager& network, const QString& address,
                           const ListFetch::Validators& since = {})
{
    ListFetch fetch(network, {});
    ListFetch::Answer answer;
    QEventLoop loop;
    QObject::connect(&fetch, &ListFetch::finished, &loop, [&](const ListFetch::Answer& a) {
        answer = a;
        loop.quit();
    });
    fetch.start(address, since);
    loop.exec();
    return answer;
}

// `before`: the requests the server has been asked so far.
Figures rounds(QNetworkAccessManager& network, const QString& address, const QString& log,
               const ListFetch::Validators& since, int count, qsizetype before)
{
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer timer;
        timer.start();
        const ListFetch::Answer answer = fetchNow(network, address, since);
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (answer.kind == ListFetch::Answer::Kind::Failed)
            std::printf("failed: %s\n", qPrintable(answer.reason));
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], meanBytes(log, before, count)};
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    QTemporaryDir dir;
    std::printf("rounds: %d each (median ms; bytes the server sent per answer)\n", count);
    std::printf("%-6s %-24s %10s %10s\n", "links", "request", "ms", "bytes");
    for (const int links : {50, 500}) {
        QByteArray list;
        for (int i = 1; i <= links; ++i)
            list += QStringLiteral("https://www.example.org/lesson/%1.html\r\n").arg(i).toUtf8();
        const QString listFile = dir.path() + QStringLiteral("/list.qld");
        const QString log = dir.path() + QStringLiteral("/log%1").arg(links);
        QFile file(listFile);
        file.open(QIODevice::WriteOnly);
        file.write(list);
        file.close();
        QProcess server;
        server.start(QStringLiteral("python3"), {QStringLiteral(LIST_SERVER), listFile, log});
        while (!server.canReadLine() && server.waitForReadyRead(-1)) {
        }
        const QString address =
            QStringLiteral("http://127.0.0.1:%1/list.qld").arg(server.readLine().trimmed().data());
        QNetworkAccessManager network;
        const ListFetch::Answer first = fetchNow(network, address);
        const Figures unchanged = rounds(network, address, log, first.validators, count, 1);
        const Figures whole = rounds(network, address, log, {}, count, 1 + count);
        std::printf("%-6d %-24s %10.3f %10.0f\n", links, "unchanged (304)", unchanged.medianMs,
                    unchanged.bytes);
        std::printf("%-6d %-24s %10.3f %10.0f\n", links, "whole list (200)", whole.medianMs,
                    whole.bytes);
        std::printf("%-6d %-24s %10.2f %10.2f\n", links, "ratio whole/unchanged",
                    whole.medianMs / unchanged.medianMs, whole.bytes / unchanged.bytes);
        server.kill();
        server.waitForFinished();
    }
    return 0;
}
