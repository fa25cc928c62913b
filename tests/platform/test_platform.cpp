#include "platform/Clock.h"
#include "platform/DesktopPlacement.h"
#include "platform/Failure.h"
#include "platform/FileStore.h"
#include "platform/InstallDir.h"
#include "platform/LineSplitter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

class TestPlatform : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir temp;
    QString file(const QString& name) const { return temp.path() + '/' + name; }
    void put(const QString& name, const QByteArray& bytes) const
    {
        QFile out(file(name));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    static QByteArray bytesOf(const QString& path)
    {
        QFile in(path);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<missing>");
    }

private slots:
    void errnoMapsToOneNumber_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("folderExists");
        QTest::addColumn<int>("number");
        QTest::newRow("missing file") << ENOENT << true << 53;
        QTest::newRow("missing folder") << ENOENT << false << 76;
        QTest::newRow("part of path is a file") << ENOTDIR << true << 76;
        QTest::newRow("name too long") << ENAMETOOLONG << true << 52;
        QTest::newRow("access refused") << EACCES << true << 75;
        QTest::newRow("not permitted") << EPERM << true << 75;
        QTest::newRow("read-only file system") << EROFS << true << 75;
        QTest::newRow("a folder") << EISDIR << true << 75;
        QTest::newRow("disk full") << ENOSPC << true << 61;
        QTest::newRow("quota") << EDQUOT << true << 61;
        QTest::newRow("other I/O") << EIO << true << 57;
    }
    void errnoMapsToOneNumber()
    {
        QFETCH(int, error);
        QFETCH(bool, folderExists);
        QFETCH(int, number);
        const QString path = folderExists ? file("x.qld") : file("gone/x.qld");
        QCOMPARE(Failure::fromErrno(error, path).number(), number);
    }

    void emptyNameIsBadFileName()
    {
        QCOMPARE(Failure::fromErrno(ENOENT, QString()).number(), 52);
        QVERIFY_THROWS_EXCEPTION(Failure, FileStore::read(QString()));
    }

    void numbersInTextsCarryOneBlankOrMinus()
    {
        QCOMPARE(QStringLiteral("Error ") + formatNumber(76), QStringLiteral("Error  76"));
        QCOMPARE(formatNumber(-5), QStringLiteral("-5"));
        QCOMPARE(formatNumber(0), QStringLiteral(" 0"));
    }

    void readLineEndsAtCrLfLoneCrOrEnd_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::newRow("empty file") << QByteArray() << QList<QByteArray>{};
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QList<QByteArray>{"a", "b"};
        QTest::newRow("lone CR") << QByteArray("a\rb\r") << QList<QByteArray>{"a", "b"};
        QTest::newRow("no last line end") << QByteArray("a\r\nb") << QList<QByteArray>{"a", "b"};
        QTest::newRow("lone LF stays") << QByteArray("a\nb\r\n") << QList<QByteArray>{"a\nb"};
        QTest::newRow("empty lines")
            << QByteArray("\r\n\r\na\r\n") << QList<QByteArray>{"", "", "a"};
        QTest::newRow("LF CR") << QByteArray("a\n\rb") << QList<QByteArray>{"a\n", "b"};
        QTest::newRow("high bytes")
            << QByteArray("caf\xe9\r\n") << QList<QByteArray>{QByteArray("caf\xe9")};
    }
    void readLineEndsAtCrLfLoneCrOrEnd()
    {
        QFETCH(QByteArray, content);
        QFETCH(QList<QByteArray>, lines);
        QList<QByteArray> read;
        for (qsizetype pos = 0; pos < content.size();) {
            const TextLine line = LineSplitter::lineAt(content, pos);
            read << content.mid(line.start, line.end - line.start);
            pos = line.next;
        }
        QCOMPARE(read, lines);
    }

    void failuresCarryTheirNumbers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("number");
        QTest::newRow("read missing file") << "none.qld"
                                           << "read" << 53;
        QTest::newRow("read in missing folder") << "gone/a.qld"
                                                << "read" << 76;
        QTest::newRow("append in missing folder") << "gone/a.log"
                                                  << "append" << 76;
        QTest::newRow("save in missing folder") << "gone/a.qld"
                                                << "save" << 76;
        QTest::newRow("read a folder") << "folder"
                                       << "read" << 75;
        QTest::newRow("append to a folder") << "folder"
                                            << "append" << 75;
        QTest::newRow("save over a folder") << "folder"
                                            << "save" << 75;
        QTest::newRow("read a pipe without waiting") << "pipe"
                                                     << "read" << 75;
        QTest::newRow("append to a pipe without waiting") << "pipe"
                                                          << "append" << 75;
        QTest::newRow("create a name that is taken") << "taken.qld"
                                                     << "create" << 75;
    }
    void failuresCarryTheirNumbers()
    {
        QFETCH(QString, name);
        QFETCH(QString, operation);
        QFETCH(int, number);
        QDir(temp.path()).mkpath(QStringLiteral("folder"));
        ::mkfifo(QFile::encodeName(file("pipe")).constData(), 0644);
        put("taken.qld", "keep me\r\n");
        try {
            if (operation == "read")
                FileStore::read(file(name));
            else if (operation == "save")
                FileStore::save(file(name), "x");
            else
                FileStore::append(file(name), "x",
                                  operation == "create" ? FileStore::Create::New
                                                        : FileStore::Create::IfMissing);
            QFAIL("done");
        } catch (const Failure& failure) {
            QCOMPARE(failure.number(), number);
        }
        QCOMPARE(bytesOf(file("taken.qld")), QByteArray("keep me\r\n"));
    }

    void clockFormats_data()
    {
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        const QDateTime morning(QDate(2026, 1, 3), QTime(9, 5));
        const QDateTime evening(QDate(2026, 12, 6), QTime(14, 8));
        QTest::newRow("padded date") << morning << "mm/dd/yy"
                                     << "01/03/26";
        QTest::newRow("short date") << morning << "m/d/yy"
                                    << "1/3/26";
        QTest::newRow("morning") << morning << "hh:mm"
                                 << "09:05";
        QTest::newRow("evening date") << evening << "mm/dd/yy"
                                      << "12/06/26";
        QTest::newRow("24-hour") << evening << "hh:mm"
                                 << "14:08";
        QTest::newRow("year 2000") << QDateTime(QDate(2000, 10, 11), QTime(0, 0)) << "m/d/yy"
                                   << "10/11/00";
    }
    void clockFormats()
    {
        QFETCH(QDateTime, moment);
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QCOMPARE(Clock::format(moment, pattern), text);
    }

    // A monitor and its free area, the toolbar's frame where the window manager put it and the
    // browser's shadow, in; where the toolbar is asked to go and the browser's window, out.
    void placementOnADesktop_data()
    {
        QTest::addColumn<QRect>("monitor");
        QTest::addColumn<QRect>("workArea");
        QTest::addColumn<QRect>("toolbarNow");
        QTest::addColumn<QMargins>("shadow");
        QTest::addColumn<QRect>("toolbar");
        QTest::addColumn<QRect>("browser");
        const QRect screen(0, 0, 1280, 800);
        const QMargins composited(16, 10, 16, 32);
        QTest::newRow("no window manager: row 78, held to the screen's width")
            << screen << screen << QRect(0, 0, 1280, 51) << QMargins() << QRect(0, 0, 1280, 51)
            << QRect(0, 78, 1280, 660);
        QTest::newRow("a frame that ends above row 78")
            << screen << screen << QRect(0, 0, 1280, 72) << QMargins(4, 0, 4, 4)
            << QRect(0, 0, 1280, 72) << QRect(-4, 78, 1288, 664);
        QTest::newRow("a frame that ends below row 78, and a shadow that lies under it")
            << screen << screen << QRect(0, 0, 1280, 88) << composited << QRect(0, 0, 1280, 88)
            << QRect(-16, 78, 1312, 702);
        QTest::newRow("a panel at the top")
            << screen << QRect(0, 27, 1280, 773) << QRect(0, 27, 1280, 85) << composited
            << QRect(0, 27, 1280, 85) << QRect(-16, 102, 1312, 702);
        QTest::newRow("a panel at the left")
            << screen << QRect(64, 0, 1216, 800) << QRect(64, 0, 1216, 51) << QMargins()
            << QRect(64, 0, 1216, 51) << QRect(64, 78, 1216, 660);
        QTest::newRow("a small screen with a panel below: the height held above it")
            << QRect(0, 0, 1024, 600) << QRect(0, 0, 1024, 560) << QRect(0, 0, 1024, 51)
            << QMargins() << QRect(0, 0, 1024, 51) << QRect(0, 78, 1024, 482);
        QTest::newRow("the primary monitor on the right")
            << QRect(1280, 0, 1280, 800) << QRect(1280, 0, 1280, 800) << QRect(1280, 0, 1280, 51)
            << QMargins() << QRect(1280, 0, 1280, 51) << QRect(1280, 78, 1280, 660);
        QTest::newRow("a toolbar that the window manager put elsewhere: the page below it")
            << screen << screen << QRect(38, 59, 1280, 88) << QMargins() << QRect(0, 0, 1280, 88)
            << QRect(0, 147, 1280, 653);
    }
    void placementOnADesktop()
    {
        QFETCH(QRect, monitor);
        QFETCH(QRect, workArea);
        QFETCH(QRect, toolbarNow);
        QFETCH(QMargins, shadow);
        QFETCH(QRect, toolbar);
        QFETCH(QRect, browser);
        const DesktopPlacement::Monitor on{monitor, workArea};
        QCOMPARE(DesktopPlacement::toolbarFrame(on, toolbarNow.height()), toolbar);
        const QRect drawn = DesktopPlacement::browserDrawn(on, toolbarNow);
        QCOMPARE(DesktopPlacement::browserWindow(drawn, shadow), browser);
        QVERIFY(!drawn.intersects(toolbarNow));
        QVERIFY(workArea.contains(drawn));
    }

    void saveIsAtomicAndReadTakesAtMostItsLimit()
    {
        put("t.qld", "old\r\n");
        FileStore::save(file("t.qld"), "new\r\n");
        QCOMPARE(FileStore::read(file("t.qld")), QByteArray("new\r\n"));
        QCOMPARE(FileStore::read(file("t.qld"), 2), QByteArray("ne"));
        QCOMPARE(FileStore::read(file("t.qld"), 0), QByteArray());
        QCOMPARE(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden).filter("t.qld").size(), 1);
    }

    // A write that the system cuts short (here a file size limit, as a full disk would) leaves
    // the old bytes and nothing of the new ones.
    void appendAddsAllOrNothing()
    {
        put("a.qld", "old\r\n");
        FileStore::append(file("a.qld"), "one\r\n");
        FileStore::append(file("new.qld"), "two\r\n");
        QCOMPARE(bytesOf(file("a.qld")), QByteArray("old\r\none\r\n"));
        QCOMPARE(bytesOf(file("new.qld")), QByteArray("two\r\n"));
        rlimit previous{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit small = previous;
        small.rlim_cur = 14;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        QList<int> numbers;
        for (const FileStore::Create create :
             {FileStore::Create::IfMissing, FileStore::Create::New}) {
            try {
                FileStore::append(file(create == FileStore::Create::New ? "b.qld" : "a.qld"),
                                  "a long record\r\n", create);
            } catch (const Failure& failure) {
                numbers << failure.number();
            }
        }
        ::setrlimit(RLIMIT_FSIZE, &previous);
        ::signal(SIGXFSZ, previousHandler);
        QCOMPARE(numbers, (QList<int>{61, 61}));
        QCOMPARE(bytesOf(file("a.qld")), QByteArray("old\r\none\r\n"));
        // A new file that could not be written whole is not left to block the name.
        QVERIFY(!FileStore::exists(file("b.qld")));
    }

    void creatingANewFileNeverOpensAnExistingOne()
    {
        FileStore::append(file("fresh.qld"), "a\r\n", FileStore::Create::New);
        QCOMPARE(bytesOf(file("fresh.qld")), QByteArray("a\r\n"));
        QVERIFY(FileStore::exists(file("fresh.qld")));
        QVERIFY(!FileStore::exists(file("none.qld")));
    }

    void firstRunInstallsDefaultsOnlyIntoAMissingFolder()
    {
        const QString dir = file("Quillon2/");
        InstallDir::installIfMissing(dir);
        const QByteArray theme = bytesOf(dir + "default.qld");
        QVERIFY(theme.startsWith("http"));
        QVERIFY(theme.endsWith("\r\n"));
        QVERIFY(!QByteArray(theme).replace("\r\n", "").contains('\n'));
        QVERIFY(bytesOf(dir + "newquillon.htm").contains("<html"));
        QCOMPARE(QDir(temp.path()).entryList({"Quillon2*"}, QDir::Dirs | QDir::Hidden),
                 QStringList{"Quillon2"});

        const QString existing = file("existing/");
        QDir().mkpath(existing);
        InstallDir::installIfMissing(existing);
        QVERIFY(QDir(existing).isEmpty());

        put("plainfile", "x");
        InstallDir::installIfMissing(file("plainfile/Quillon2/"));
        QCOMPARE(bytesOf(file("plainfile")), QByteArray("x"));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
