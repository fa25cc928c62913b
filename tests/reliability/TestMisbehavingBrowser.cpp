#include "ReliabilityTests.h"

#include "browser/devtools/DevToolsConnection.h"

#include <QTest>

#include <sys/socket.h>
#include <thread>
#include <unistd.h>

// The browser's end of the pipe played by the test, sending frames far past any that the
// program reads, as a page can make it send them (or as no browser should).
class TestMisbehavingBrowser : public QObject
{
    Q_OBJECT

private slots:
    void oversizedFrameFailsOnlyItself_data();
    void oversizedFrameFailsOnlyItself();
};

void TestMisbehavingBrowser::oversizedFrameFailsOnlyItself_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<bool>("answersFirstCall");
    // What the program sends back for the dropped frame, if anything.
    QTest::addColumn<QByteArray>("sentBack");
    QTest::newRow("frame of no known shape") << QByteArray("    ") << false << QByteArray();
    QTest::newRow("answer") << QByteArray(R"({"id":1,"result":{"data":")") << true << QByteArray();
    QTest::newRow("unread event") << QByteArray(
                                         R"({"method":"Runtime.consoleAPICalled","params":{"x":")")
                                  << false << QByteArray();
    QTest::newRow("read event") << QByteArray(R"({"method":"Page.loadEventFired","params":{"x":")")
                                << false << QByteArray();
    QTest::newRow("paused request with a huge body")
        << QByteArray(R"({"method":"Fetch.requestPaused","params":{"requestId":"job-7",)"
                      R"("request":{"postData":")")
        << false
        << QByteArray(R"("method":"Fetch.continueRequest","sessionId":"S1",)"
                      R"("params":{"requestId":"job-7"}})");
}

void TestMisbehavingBrowser::oversizedFrameFailsOnlyItself()
{
    QFETCH(QByteArray, start);
    QFETCH(bool, answersFirstCall);
    QFETCH(QByteArray, sentBack);
    int ends[2];
    QVERIFY(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0);
    DevToolsConnection connection(::dup(ends[0]), ends[0]);
    int events = 0;
    QObject listener;
    for (const char* method : {"Page.loadEventFired", "Fetch.requestPaused"})
        connection.subscribe(method, &listener, [&events](const DevToolsEvent&) { ++events; });
    // Written as it is read: the test holds no copy of the frame.
    bool written = true;
    std::thread browser([&] {
        const auto frame = [](const char* text) { return QByteArray(text) + '\0'; };
        QByteArray rest =
            frame(R"("}},"sessionId":"S1"})") + frame(R"({"method":"Page.loadEventFired"})");
        if (!answersFirstCall)
            rest += frame(R"({"id":1,"result":{}})");
        const QByteArray padding(64 * 1024, 'x');
        const auto send = [&](const QByteArray& bytes) {
            written = written &&
                      ::write(ends[1], bytes.constData(), size_t(bytes.size())) == bytes.size();
        };
        send(start);
        for (qsizetype sent = 0; sent < 2 * DevToolsPipe::MaxFrameSize; sent += padding.size())
            send(padding);
        send(rest);
    });
    const auto first = connection.ask(QStringLiteral("Page.navigate"), {}, {}, 60000);
    browser.join();
    QVERIFY(written);
    // The next command is answered as ever (its id is 3 when the program sent one of its own).
    const QByteArray answer =
        QByteArray(R"({"id":2,"result":{}})") + '\0' + QByteArray(R"({"id":3,"result":{}})") + '\0';
    QCOMPARE(::write(ends[1], answer.constData(), size_t(answer.size())), answer.size());
    const auto second = connection.ask(QStringLiteral("Browser.getVersion"), {}, {}, 60000);
    QByteArray sent(65536, '\0');
    sent.truncate(
        qMax<ssize_t>(0, ::recv(ends[1], sent.data(), size_t(sent.size()), MSG_DONTWAIT)));
    ::close(ends[1]);
    QCOMPARE(sent.count("\"method\""), sentBack.isEmpty() ? 2 : 3);
    QVERIFY(sent.contains(sentBack));
    QVERIFY(first && second);
    QCOMPARE(first->contains(QStringLiteral("error")), answersFirstCall);
    QVERIFY(second->contains(QStringLiteral("result")));
    QCOMPARE(events, 1);
    QVERIFY(connection.isAlive());
}

std::unique_ptr<QObject> makeMisbehavingBrowserTests()
{
    return std::make_unique<TestMisbehavingBrowser>();
}

#include "TestMisbehavingBrowser.moc"
