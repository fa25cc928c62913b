#include "app/CommandLine.h"
#include "AppTests.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    // The built program, with no display and a home of its own: an answer with status 2 came
    // before any window (which would fail without a display) or install directory.
    void programAnswersBeforeAnythingStarts_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("error");
        const QString usage = QStringLiteral("Usage: quillon [options] [file]");
        QTest::newRow("help") << QStringList{"--help"} << 0 << usage << QString();
        QTest::newRow("version") << QStringList{"--version"} << 0
                                 << QStringLiteral("Quillon Version 2.8\n") << QString();
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << QString()
                                        << QStringLiteral("quillon: Unknown option 'bogus'.");
        QTest::newRow("two file names")
            << QStringList{"list.qld", "--step-every=5", "more.qld"} << 2 << QString()
            << QStringLiteral("quillon: Unexpected argument 'more.qld'.");
        QTest::newRow("an empty file name")
            << QStringList{""} << 2 << QString()
            << QStringLiteral("quillon: The theme file's name is empty.");
        QTest::newRow("a file: address of another computer")
            << QStringList{"file://server.example/a%20b.qld"} << 2 << QString()
            << "quillon: 'file://server.example/a%20b.qld' names no file on this computer.";
        QTest::newRow("no interval")
            << QStringList{"--step-every"} << 2 << QString()
            << QStringLiteral("quillon: Missing value after '--step-every'.");
        const QString wrong =
            QStringLiteral("quillon: --step-every takes whole seconds from 5 to 86400, not '%1'.");
        for (const char* value : {"4", "0", "-5", "86401", "4294967301", "7.5", "soon", ""})
            QTest::addRow("interval '%s'", value)
                << QStringList{"--step-every", value} << 2 << QString()
                << wrong.arg(QString::fromLatin1(value));
        QTest::newRow("line break in the value")
            << QStringList{"--step-every=5\nrm -rf"} << 2 << QString()
            << wrong.arg(QStringLiteral("5 rm -rf"));
    }
    void programAnswersBeforeAnythingStarts()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        QFETCH(QString, error);
        checkAnswer(arguments, {}, status, output, error);
    }

    // Windows are placed by position: on X11 alone, through XWayland on a Wayland desktop.
    void programWithoutAnXServerSaysSo_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("error");
        const QString unset = QStringLiteral("quillon: Quillon places its windows on an X server "
                                             "(XWayland on a Wayland desktop), and DISPLAY is "
                                             "not set.");
        QTest::newRow("no display") << QStringList() << unset;
        QTest::newRow("a Wayland session without XWayland")
            << QStringList{"WAYLAND_DISPLAY=wayland-1", "QT_QPA_PLATFORM=wayland"} << unset;
        QTest::newRow("X11 named, with no display") << QStringList{"QT_QPA_PLATFORM=xcb"} << unset;
        QTest::newRow("a display nobody answers at")
            << QStringList{"DISPLAY=:4093", "QT_QPA_PLATFORM=wayland;xcb"}
            << QStringLiteral("quillon: No X server answers at DISPLAY ':4093'.");
    }
    void programWithoutAnXServerSaysSo()
    {
        QFETCH(QStringList, environment);
        QFETCH(QString, error);
        checkAnswer({}, environment, 1, QString(), error);
    }

private:
    // The built program, with no display unless `environment` names one, and a home of its own.
    static void checkAnswer(const QStringList& arguments, const QStringList& environment,
                            int status, const QString& output, const QString& error)
    {
        QTemporaryDir home;
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            variables.remove(QString::fromLatin1(name));
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            variables.insert(QString::fromLatin1(name), home.path());
        for (const QString& setting : environment)
            variables.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
        QProcess program;
        program.setProcessEnvironment(variables);
        program.start(QStringLiteral(QUILLON_PROGRAM), arguments);
        QVERIFY(program.waitForFinished());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        QVERIFY2(out.startsWith(output), qPrintable(out));
        QCOMPARE(err, error.isEmpty() ? QString() : error + '\n');
        QCOMPARE(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
    }

private slots:
    void acceptedRuns_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("seconds");       // 0: no timed stepping
        QTest::addColumn<QString>("themeFile"); // started in /usr/share
        QTest::newRow("no option") << QStringList{"quillon"} << 0 << QString();
        QTest::newRow("shortest") << QStringList{"quillon", "--step-every", "5"} << 5 << QString();
        QTest::newRow("longest, with =")
            << QStringList{"quillon", "--step-every=86400"} << 86400 << QString();
        QTest::newRow("a file") << QStringList{"quillon", "lesson.qld"} << 0
                                << "/usr/share/lesson.qld";
        QTest::newRow("a file up a folder, then an interval")
            << QStringList{"quillon", "./../shared/lesson.qld", "--step-every", "60"} << 60
            << "/usr/shared/lesson.qld";
        QTest::newRow("an address") << QStringList{"quillon", "https://a:b@c.example/w.qld"} << 0
                                    << "https://a:b@c.example/w.qld";
        QTest::newRow("an absolute file")
            << QStringList{"quillon", "/srv/a b.qld"} << 0 << "/srv/a b.qld";
        // As desktops pass a file: percent-encoded, with or without a host of this computer.
        QTest::newRow("a file: address")
            << QStringList{"quillon", "file:///u/lesson%20two.qld"} << 0 << "/u/lesson two.qld";
        QTest::newRow("on localhost, in capitals")
            << QStringList{"quillon", "FILE://LocalHost/%C3%9Cbung%23.qld"} << 0
            << "/\u00dcbung#.qld";
        QTest::newRow("a file named like one, in a folder")
            << QStringList{"quillon", "./file:a.qld"} << 0 << "/usr/share/file:a.qld";
        QTest::newRow("a file that looks like an option, after --")
            << QStringList{"quillon", "--", "--help"} << 0 << "/usr/share/--help";
    }
    void acceptedRuns()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, seconds);
        QFETCH(QString, themeFile);
        const QString started = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QStringLiteral("/usr/share")));
        const CommandLine options = CommandLine::parse(arguments);
        QDir::setCurrent(started);
        QCOMPARE(options.action(), CommandLine::Action::Run);
        QCOMPARE(options.stepEvery().value_or(0s), std::chrono::seconds(seconds));
        QCOMPARE(options.themeFile(), themeFile);
    }
};

std::unique_ptr<QObject> makeCommandLineTests()
{
    return std::make_unique<TestCommandLine>();
}

#include "CommandLineTest.moc"
