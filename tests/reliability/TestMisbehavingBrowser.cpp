#include "ReliabilityTests.h"

#include "browser/DevToolsPipe.h"

#include <QTest>

#include <fcntl.h>
#include <unistd.h>

// The browser's end of the pipe played by the test, sending what no browser should.
class TestMisbehavingBrowser : public QObject
{
    Q_OBJECT

private slots:
    void endlessFrameFailsThePipe()
    {
        int events[2];
        QVERIFY(::pipe2(events, O_CLOEXEC) == 0);
        ::fcntl(events[1], F_SETFL, O_NONBLOCK);
        const int commands = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        QVERIFY(commands >= 0);
        int closed = 0;
        DevToolsPipe pipe(commands, events[0]);
        pipe.setClosedHandler([&closed] { ++closed; });

        // A JSON text that never ends: no NUL, ever, well past any real message.
        const QByteArray chunk(64 * 1024, ' ');
        qint64 sent = 0;
        while (pipe.isOpen() && sent < qint64(80) * 1024 * 1024) {
            const ssize_t done = ::write(events[1], chunk.constData(), size_t(chunk.size()));
            sent += qMax<ssize_t>(done, 0);
            pipe.waitUntil([] { return false; }, 0);
        }
        ::close(events[1]);

        QVERIFY2(!pipe.isOpen(), qPrintable(QStringLiteral("still open after %1 bytes").arg(sent)));
        QCOMPARE(closed, 1);
        QVERIFY(!pipe.call(QStringLiteral("Browser.getVersion"), {}, {}, 1000));
    }
};

std::unique_ptr<QObject> makeMisbehavingBrowserTests()
{
    return std::make_unique<TestMisbehavingBrowser>();
}

#include "TestMisbehavingBrowser.moc"
