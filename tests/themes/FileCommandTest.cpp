#include "ThemeTestSupport.h"

#include "support/SessionHarness.h"
#include "themes/ThemeCommands.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <unistd.h>

namespace {
const QString ActivatesDialog = QStringLiteral(" User Activates File Dialog");
const QString BadFileName = QStringLiteral(" User attempted to open bad file name ");
const QString KeptCurrentFile =
    QStringLiteral(" User canceled new file operation - kept current file ");

void clickFile(SessionHarness& h)
{
    h.run([&h] { FileCommand(*h.m); });
}

void stepRight(SessionHarness& h, int steps)
{
    for (int i = 0; i < steps; ++i)
        h.run([&h] { h.m->theme().MoveRight(); });
}

void expectCheckFileNameBoxes(const SessionHarness& h, int count)
{
    QCOMPARE(h.dialogs.boxes.size(), count);
    for (const ScriptedDialogs::Box& box : h.dialogs.boxes) {
        QCOMPARE(box.text, QStringLiteral("Check File Name"));
        QCOMPARE(box.title, QStringLiteral("File Open Error"));
        QVERIFY(box.icon == BoxIcon::CriticalStop);
    }
}

// A path that exists and that this process cannot open for reading, or empty. Root reads
// every ordinary file, but a write-only kernel setting refuses it too.
QString unreadableFile(const QString& folder)
{
    if (::geteuid() != 0) {
        const QString path = folder + QStringLiteral("locked.qld");
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("http://locked.example/\r\n");
        file.close();
        file.setPermissions(QFileDevice::WriteOwner);
        return path;
    }
    const QString setting = QStringLiteral("/proc/sys/vm/compact_memory");
    QFile probe(setting);
    return probe.exists() && !probe.open(QIODevice::ReadOnly) ? setting : QString();
}
} // namespace

class FileCommandTest : public QObject
{
    Q_OBJECT
private slots:
    void chosenFileLoadsInNormalMode_data();
    void chosenFileLoadsInNormalMode();
    void cancelReloadsInPlace();
    void badNamesThenCancel();
    void unopenableChoiceAsksAgain_data();
    void unopenableChoiceAsksAgain();
    void logThatCannotBeWrittenEndsProgram();
    void pathThatHoldsLineBreaksForgesNoEntry();
    void fileFromOutside_data();
    void fileFromOutside();
};

void FileCommandTest::chosenFileLoadsInNormalMode_data()
{
    QTest::addColumn<QString>("name"); // relative to the install directory
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");

    QTest::newRow("another theme file")
        << "other.qld" << QByteArray("http://a.example/\r\nhttp://b.example/\r\n")
        << "http://a.example/"
        << "http://b.example/";
    QTest::newRow("the current theme file")
        << "default.qld" << QByteArray() << "https://www.debian.org/"
        << "https://www.gnu.org/";
    QTest::newRow("a name without extension, as typed")
        << "notes" << QByteArray("http://n.example/\r\nhttp://o.example/\r\n")
        << "http://n.example/"
        << "http://o.example/";

    QTest::newRow("another folder and extension")
        << "../elsewhere/list.txt" << QByteArray("http://x.example/\r\nhttp://y.example/\r\n")
        << "http://x.example/"
        << "http://y.example/";
}

void FileCommandTest::chosenFileLoadsInNormalMode()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, first);
    QFETCH(QString, second);
    SessionHarness h;
    const QString path = QDir::cleanPath(h.path(name));
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!content.isEmpty())
        h.write(path, content);
    h.start();
    stepRight(h, 2);
    h.browsers.calls.clear();
    const qsizetype logged = h.logMessages().size();
    h.dialogs.answerOpen(path);

    clickFile(h);

    QCOMPARE(h.dialogs.openRequests.size(), 1);
    QCOMPARE(h.dialogs.openRequests.at(0).initDir, h.installDir);
    QCOMPARE(h.dialogs.openRequests.at(0).filter,
             QStringLiteral("Quillon Data Files (*.qld)|*.qld"));
    QCOMPARE(h.dialogs.openRequests.at(0).fileName, QString());
    QCOMPARE(h.m->theme().ThemeFile(), path);
    QCOMPARE(h.m->theme().LinkIndex(), 1);
    QCOMPARE(h.toolbar.text, first);
    QCOMPARE(navigations(h),
             QStringList({"Main.Navigate(" + first + ")", "Prefetch.Navigate(" + second + ")"}));
    QVERIFY(h.toolbar.caption.endsWith(path.toUpper()));
    QCOMPARE(logSince(h, logged), QStringList({ActivatesDialog, opensNormally(path)}));
    QVERIFY(h.dialogs.boxes.isEmpty());
}

void FileCommandTest::cancelReloadsInPlace()
{
    SessionHarness h;
    h.start();
    stepRight(h, 2);
    const QString shown = h.toolbar.text;
    const int entries = h.toolbar.listCount();
    QFile theme(h.m->theme().ThemeFile());
    QVERIFY(theme.open(QIODevice::Append));
    theme.write("https://added.example/\r\n");
    theme.close();
    h.browsers.calls.clear();
    const qsizetype logged = h.logMessages().size();
    h.dialogs.answerOpen(QString());

    clickFile(h);

    QCOMPARE(h.m->theme().ThemeFile(), h.m->defaultThemeFile());
    QCOMPARE(h.m->theme().LinkIndex(), 3);
    QCOMPARE(h.toolbar.text, shown);
    QCOMPARE(h.toolbar.listCount(), entries + 1);
    QCOMPARE(h.toolbar.entries.value(entries), QStringLiteral("https://added.example/"));
    QVERIFY(navigations(h).isEmpty());
    QCOMPARE(logSince(h, logged),
             QStringList({ActivatesDialog, KeptCurrentFile + h.m->defaultThemeFile(),
                          opensNormally(h.m->defaultThemeFile())}));
}

void FileCommandTest::badNamesThenCancel()
{
    SessionHarness h;
    h.write(QStringLiteral("links.qld"), "http://l.example/\r\n");
    h.start();
    const qsizetype logged = h.logMessages().size();
    const QString missing = h.path(QStringLiteral("missing.qld"));
    // links.qld exists, but a name typed without extension is looked for as typed.
    const QString withoutExtension = h.path(QStringLiteral("links"));
    h.dialogs.answerOpen(missing);
    h.dialogs.answerOpen(withoutExtension);
    h.dialogs.answerOpen(QString());

    clickFile(h);

    QVERIFY(!h.ended);
    expectCheckFileNameBoxes(h, 2);
    QCOMPARE(h.dialogs.openRequests.size(), 3);
    for (const ScriptedDialogs::OpenRequest& request : h.dialogs.openRequests) {
        QCOMPARE(request.fileName, QString());
        QCOMPARE(request.initDir, h.installDir);
    }
    QCOMPARE(h.m->theme().ThemeFile(), h.m->defaultThemeFile());
    QCOMPARE(logSince(h, logged),
             QStringList({ActivatesDialog, BadFileName + missing, BadFileName + withoutExtension,
                          KeptCurrentFile + h.m->defaultThemeFile(),
                          opensNormally(h.m->defaultThemeFile())}));
}

void FileCommandTest::unopenableChoiceAsksAgain_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a file that refuses reading") << "unreadable";
    QTest::newRow("a name in a folder that does not exist") << "missing folder";
}

void FileCommandTest::unopenableChoiceAsksAgain()
{
    QFETCH(QString, kind);
    SessionHarness h;
    QString chosen;
    if (kind == QLatin1String("folder")) {
        chosen = h.path(QStringLiteral("folder.qld"));
        QVERIFY(QDir().mkpath(chosen));
    } else if (kind == QLatin1String("unreadable")) {
        chosen = unreadableFile(h.installDir);
        if (chosen.isEmpty())
            QSKIP("no file here refuses reading to this user; the folder row covers the path");
    } else {
        chosen = h.path(QStringLiteral("nowhere/list.qld"));
    }
    h.start();
    stepRight(h, 1);
    const qsizetype logged = h.logMessages().size();
    h.dialogs.answerOpen(chosen);
    h.dialogs.answerOpen(QString());

    clickFile(h);

    QVERIFY(!h.ended);
    expectCheckFileNameBoxes(h, 1);
    QCOMPARE(h.dialogs.openRequests.size(), 2);
    QCOMPARE(h.m->theme().ThemeFile(), h.m->defaultThemeFile());
    QCOMPARE(h.m->theme().LinkIndex(), 2);
    QCOMPARE(logSince(h, logged), QStringList({ActivatesDialog, BadFileName + chosen,
                                               KeptCurrentFile + h.m->defaultThemeFile(),
                                               opensNormally(h.m->defaultThemeFile())}));
}

void FileCommandTest::logThatCannotBeWrittenEndsProgram()
{
    SessionHarness h;
    h.start();
    const QByteArray logBefore = h.read(QStringLiteral("error.log"));
    ImmutableFile log(h.path(QStringLiteral("error.log")));
    if (!log.made())
        QSKIP("chattr +i is not available here; cannot refuse the log's append");
    h.dialogs.answerOpen(h.m->defaultThemeFile());

    clickFile(h);

    QVERIFY(h.ended.has_value());
    QCOMPARE(*h.ended, 0);
    QVERIFY(h.dialogs.boxes.isEmpty());
    QVERIFY(h.dialogs.openRequests.isEmpty());
    QCOMPARE(h.read(QStringLiteral("error.log")), logBefore);
}

// A file really named with CR LF and a made-up entry (its slashes are folders), chosen in the
// dialog and loaded: the log gains one entry per message, each on its own line.
void FileCommandTest::pathThatHoldsLineBreaksForgesNoEntry()
{
    SessionHarness h;
    h.start();
    const QString forged = QStringLiteral("\r\n01/03/26 09:05 Program terminated normally\r\n"
                                          "End of this session\r\n+\r\n");
    const QString path = h.temp.path() + QStringLiteral("/list") + forged + QStringLiteral(".qld");
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    h.write(path, "http://a.example/\r\n");
    QVERIFY(QFile::exists(path));
    const qsizetype logged = h.logMessages().size();
    h.dialogs.answerOpen(path);

    clickFile(h);

    QCOMPARE(h.m->theme().ThemeFile(), path);
    QString shown = path;
    shown.replace(QStringLiteral("\r"), QStringLiteral("\\r"))
        .replace(QStringLiteral("\n"), QStringLiteral("\\n"));
    QCOMPARE(logSince(h, logged), QStringList({ActivatesDialog, opensNormally(shown)}));
    QList<QByteArray> lines = h.read(QStringLiteral("error.log")).split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    static const QRegularExpression entry(
        QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d [^\\r]*\\r$"));
    for (const QByteArray& line : lines)
        QVERIFY2(entry.match(QString::fromUtf8(line)).hasMatch(), line.constData());
}

// A file handed over by a second start opens as a chosen one, without the dialog.
void FileCommandTest::fileFromOutside_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a theme file") << "opens";
    QTest::newRow("a missing file") << "missing";
    QTest::newRow("a folder") << "folder";
}

void FileCommandTest::fileFromOutside()
{
    QFETCH(QString, kind);
    const bool opens = kind == QLatin1String("opens");
    SessionHarness h;
    const QString file = h.temp.filePath(kind + QStringLiteral(".qld"));
    QVERIFY(QDir().mkpath(h.temp.filePath(QStringLiteral("folder.qld"))));
    if (opens)
        h.write(file, "http://l.example/\r\nhttp://m.example/\r\n");
    h.start();
    stepRight(h, 1);
    const qsizetype logged = h.logMessages().size();
    h.run([&h, &file] { OpenThemeFile(*h.m, file); });
    QVERIFY(h.dialogs.openRequests.isEmpty());
    expectCheckFileNameBoxes(h, opens ? 0 : 1);
    QCOMPARE(h.m->theme().ThemeFile(), opens ? file : h.m->defaultThemeFile());
    QCOMPARE(h.m->theme().LinkIndex(), opens ? 1 : 2);
    QCOMPARE(logSince(h, logged), QStringList{opens ? opensNormally(file) : BadFileName + file});
}

std::unique_ptr<QObject> makeFileCommandTests()
{
    return std::make_unique<FileCommandTest>();
}

#include "FileCommandTest.moc"
