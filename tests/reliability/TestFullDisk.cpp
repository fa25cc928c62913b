#include "ReliabilityTests.h"
#include "SmallDisk.h"

#include "capture/Form2.h"
#include "capture/Form3.h"
#include "session/ThemeDocument.h"
#include "support/Harness.h"
#include "themes/Form4.h"

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {
enum class Step { Tidy, AddIt, Process, New, Grab };

// Three links that fill the small disk's page to its end: Add It appends in place, and an
// append that still fits the file's last page would need no free page at all.
QByteArray threeLinksFillingAPage()
{
    const QByteArray start = "http://a/\r\nhttp://b/\r\nhttp://c/?";
    return start + QByteArray(4096 - start.size() - 2, 'x') + "\r\n";
}
const QString diskFull = QStringLiteral("Run-time error '61':\n\nDisk full");

void click(QWidget* window, const char* button)
{
    QTest::mouseClick(window->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
}

// What the user does: a load of an untidy file, or the toolbar button and the dialog's own.
void runStep(Harness& h, Step step)
{
    switch (step) {
    case Step::Tidy:
        h.run([&h] { h.m->theme().LoadThemeFile(h.path("untidy.qld")); });
        return;
    case Step::Grab:
        click(h.form.get(), "Command6");
        return;
    case Step::AddIt:
        click(h.form.get(), "Command6");
        qobject_cast<Form2*>(h.m->Form2.data())->Text1->setText("http://typed/");
        click(h.m->Form2, "Command1");
        return;
    case Step::Process:
        click(h.form.get(), "Command7");
        qobject_cast<Form3*>(h.m->Form3.data())->Text1->setPlainText("http://edited/\n");
        click(h.m->Form3, "Command1");
        return;
    case Step::New:
        click(h.form.get(), "Command9");
        if (auto* form = qobject_cast<Form4*>(h.m->Form4.data())) {
            form->Text1->setText("fresh");
            click(form, "Command1");
        }
        return;
    }
}

// Every file of the folder but the log and the disk's filler, with its bytes.
QHash<QString, QByteArray> filesOf(const Harness& h, bool withLog)
{
    QHash<QString, QByteArray> files;
    for (const QString& name : QDir(h.installDir).entryList(QDir::Files)) {
        if (withLog || name != QLatin1String("error.log"))
            files.insert(name, h.read(name));
    }
    return files;
}

QStringList boxTexts(const Harness& h)
{
    QStringList texts;
    for (const ScriptedDialogs::Box& box : h.dialogs.boxes)
        texts << box.text;
    return texts;
}
} // namespace

Q_DECLARE_METATYPE(Step)

// The whole install directory, log included, on a disk with no page left.
class TestFullDisk : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void fullDiskChangesNoFile_data()
    {
        QTest::addColumn<Step>("step");
        QTest::addColumn<QStringList>("boxes");
        // %1 is the theme file of the step.
        QTest::addColumn<QStringList>("logged");
        const QString failed =
            QStringLiteral(" Uknown error  61 occurred trying to add link to %1");
        // The load goes on with the file's own bytes, which hold the same links.
        QTest::newRow("tidy") << Step::Tidy << QStringList{}
                              << QStringList{QStringLiteral(" %1 opens normally")};
        QTest::newRow("Add It") << Step::AddIt << QStringList{"Uknown Error 61"}
                                << QStringList{" User grabs http://a/", failed};
        QTest::newRow("Process") << Step::Process << QStringList{"Uknown Error 61"}
                                 << QStringList{" User edits %1", failed};
        QTest::newRow("New") << Step::New << QStringList{"Bad File Name or Other File Error"}
                             << QStringList{" User selects NEW",
                                            " General file creation error.  Aborted",
                                            " %1 opens normally"};
    }
    void fullDiskChangesNoFile()
    {
        QFETCH(Step, step);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, logged);
        Harness h;
        h.write("default.qld", threeLinksFillingAPage());
        h.write("untidy.qld", "http://a/\r\n\r\nhttp://b/\rhttp://c/");
        SmallDisk disk(h.installDir);
        if (!disk.mounted())
            QSKIP(qPrintable(disk.whyNot()));
        h.start();
        QVERIFY(!h.ended);
        const QHash<QString, QByteArray> before = filesOf(h, false);
        const qsizetype logLines = h.logMessages().size();
        QVERIFY(disk.fill());

        runStep(h, step);

        QVERIFY(!h.ended);
        QCOMPARE(boxTexts(h), boxes);
        const QString theme = step == Step::Tidy ? h.path("untidy.qld") : h.path("default.qld");
        for (QString& message : logged)
            message.replace(QStringLiteral("%1"), theme);
        QCOMPARE(h.logMessages().mid(logLines), logged);
        QCOMPARE(filesOf(h, false), before);
        QCOMPARE(h.m->theme().LinkCount(), 3);
    }

    void fullLogEndsTheProgram_data()
    {
        QTest::addColumn<Step>("step");
        QTest::addColumn<QStringList>("boxes");
        // Grab's own failure path reports first; its log line then fails in turn.
        QTest::newRow("Grab") << Step::Grab << QStringList{"Uknown Error 61", diskFull};
        // Opening the dialog has no failure path: the generic report and nothing logged.
        QTest::newRow("New") << Step::New << QStringList{diskFull};
    }
    void fullLogEndsTheProgram()
    {
        QFETCH(Step, step);
        QFETCH(QStringList, boxes);
        Harness h;
        SmallDisk disk(h.installDir);
        if (!disk.mounted())
            QSKIP(qPrintable(disk.whyNot()));
        h.start();
        QVERIFY(SmallDisk::padToPageEnd(h.path("error.log")));
        const QHash<QString, QByteArray> before = filesOf(h, true);
        QVERIFY(disk.fill());

        runStep(h, step);

        QCOMPARE(h.ended, std::optional<int>(1));
        QCOMPARE(boxTexts(h), boxes);
        QCOMPARE(filesOf(h, true), before);
    }
};

std::unique_ptr<QObject> makeFullDiskTests()
{
    return std::make_unique<TestFullDisk>();
}

#include "TestFullDisk.moc"
