#include "CaptureTestSupport.h"

#include "capture/Form2.h"
#include "capture/Form3.h"
#include "support/SessionHarness.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

void CaptureTest::startWith(SessionHarness& h, const QByteArray& content)
{
    h.write("default.qld", content);
    h.start();
    QVERIFY(!h.ended);
}

Form2* CaptureTest::grab(SessionHarness& h)
{
    h.run([&h] { GrabCommand(*h.m); });
    return qobject_cast<Form2*>(h.m->Form2.data());
}

Form3* CaptureTest::edit(SessionHarness& h)
{
    h.run([&h] { EditCommand(*h.m); });
    return qobject_cast<Form3*>(h.m->Form3.data());
}

QWidget* CaptureTest::open(SessionHarness& h, Dialog dialog)
{
    if (dialog == Dialog::Form2)
        return grab(h);
    return edit(h);
}

QWidget* CaptureTest::openDialog(SessionHarness& h, Dialog dialog)
{
    return dialog == Dialog::Form2 ? h.m->Form2.data() : h.m->Form3.data();
}

void CaptureTest::setText(QWidget* dialog, const QString& text)
{
    if (auto* form2 = qobject_cast<Form2*>(dialog))
        form2->Text1->setText(text);
    else
        qobject_cast<Form3*>(dialog)->Text1->setPlainText(text);
}

QString CaptureTest::text(QWidget* dialog)
{
    if (auto* form2 = qobject_cast<Form2*>(dialog))
        return form2->Text1->text();
    return qobject_cast<Form3*>(dialog)->text();
}

void CaptureTest::clickIn(QWidget* dialog, const char* name)
{
    QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
}

QStringList CaptureTest::comboItems(SessionHarness& h)
{
    return h.toolbar.entries;
}

QStringList CaptureTest::logTail(SessionHarness& h, qsizetype count)
{
    const QStringList log = h.logMessages();
    return log.mid(log.size() - count);
}

QString CaptureTest::opensNormally(const QString& path)
{
    return ' ' + path + " opens normally";
}

bool CaptureTest::anyDialogWindow(const char* name)
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == QLatin1String(name) && window->isVisible())
            return true;
    return false;
}

void CaptureTest::addDialogColumn()
{
    QTest::addColumn<Dialog>("dialog");
}

namespace {
QtMessageHandler previousHandler = nullptr;

// The offscreen platform cannot raise windows and says so at every dialog shown.
void dropRaiseWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message != QLatin1String("This plugin does not support raise()"))
        previousHandler(type, context, message);
}
} // namespace

void CaptureTest::initTestCase()
{
    // Each test class runs with a handler of its own, which drops this one when it ends.
    previousHandler = qInstallMessageHandler(dropRaiseWarnings);
}

void CaptureTest::cleanup()
{
    // Dialogs have no owner: the harness that they served is gone.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == "Form2" || window->objectName() == "Form3")
            delete window;
}
