#include "CaptureTestSupport.h"
#include "CaptureTests.h"

#include "capture/Form2.h"
#include "capture/Form3.h"
#include "session/ThemeDocument.h"
#include "support/SessionHarness.h"

#include <QDir>
#include <QTest>

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

namespace {
using Change = std::function<void(SessionHarness&)>;

// Untidy, so that taking it makes the program write the file once more itself.
const QByteArray fiveLinks = "http://v/\r\n\r\nhttp://w/\r\nhttp://x/\r\nhttp://y/\r\nhttp://z/";
const QStringList fiveLinkList{"http://v/", "http://w/", "http://x/", "http://y/", "http://z/"};

// Other bytes of the same size under the same time, as a filesystem that keeps times to the
// second shows a second rewrite within the second.
void rewriteWithinTheSecond(SessionHarness& h)
{
    const QByteArray path = QFile::encodeName(h.path("default.qld"));
    struct stat before
    {
    };
    ::stat(path.constData(), &before);
    h.write("default.qld", QByteArray(threeLinks).replace("http://b/", "http://q/"));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ::utimensat(AT_FDCWD, path.constData(), times, 0);
}
} // namespace

Q_DECLARE_METATYPE(Change)

// The timed steps of an unattended screen and the changes that other programs make to the file.
class OutsideChangeTest : public CaptureTest
{
    Q_OBJECT

private slots:
    void timedStepTakesChangesFromOutside_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<Change>("later"); // after two timed steps
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<int>("index"); // after four timed steps from link 2
        const Change none = [](SessionHarness&) {};
        const Change rewrite = [](SessionHarness& h) { h.write("default.qld", fiveLinks); };
        const Change remove = [](SessionHarness& h) { QFile::remove(h.path("default.qld")); };
        QTest::newRow("edited") << rewrite << none << fiveLinkList << true << 1;
        QTest::newRow("same size, same second")
            << Change(rewriteWithinTheSecond) << none
            << QStringList{"http://a/", "http://q/", "http://c/"} << true << 3;
        QTest::newRow("Add It") << Change([](SessionHarness& h) {
            Form2* form = grab(h);
            setText(form, "http://d/");
            clickIn(form, "Command1");
        }) << none << threeLinkList + QStringList{"http://d/"} << false << 2;
        QTest::newRow("Process") << Change([](SessionHarness& h) {
            Form3* form = edit(h);
            setText(form, "http://c/\nhttp://a/");
            clickIn(form, "Command1");
        }) << none << QStringList{"http://c/", "http://a/"} << false << 2;
        QTest::newRow("removed") << remove << none << threeLinkList << false << 3;
        QTest::newRow("a folder in its place") << Change([](SessionHarness& h) {
            QFile::remove(h.path("default.qld"));
            QDir().mkdir(h.path("default.qld"));
        }) << none << threeLinkList << false << 3;
        QTest::newRow("back with new links") << remove << rewrite << fiveLinkList << true << 3;
    }
    void timedStepTakesChangesFromOutside()
    {
        QFETCH(Change, change);
        QFETCH(Change, later);
        QFETCH(QStringList, links);
        QFETCH(bool, taken);
        QFETCH(int, index);
        SessionHarness h;
        startWith(h, threeLinks);
        h.stepTo(2);
        change(h);
        const QStringList log = h.logMessages();
        const auto twoSteps = [&h] {
            for (int i = 0; i < 2; ++i)
                h.run([&h] { h.m->theme().TimedStep(); });
        };
        twoSteps();
        later(h);
        twoSteps();
        QCOMPARE(comboItems(h), links);
        QCOMPARE(h.logMessages().mid(log.size()),
                 taken ? QStringList{opensNormally(h.path("default.qld"))} : QStringList());
        QCOMPARE(h.m->theme().LinkIndex(), index);
        QVERIFY(h.dialogs.boxes.isEmpty());
    }
};

std::unique_ptr<QObject> makeOutsideChangeTests()
{
    return std::make_unique<OutsideChangeTest>();
}

#include "OutsideChangeTest.moc"
