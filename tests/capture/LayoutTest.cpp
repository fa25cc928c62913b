#include "CaptureTestSupport.h"

#include "support/SessionHarness.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QWidget>

// The sizes, captions and tab order of both dialogs.
class LayoutTest : public CaptureTest
{
    Q_OBJECT

private slots:
    void dialogsAreLaidOutInTwips_data()
    {
        addDialogColumn();
        QTest::addColumn<QString>("control"); // empty: the client area
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Form2") << Dialog::Form2 << "" << QRect(0, 0, 6690, 1230)
                               << "Add the Current Link";
        QTest::newRow("Form2.Text1")
            << Dialog::Form2 << "Text1" << QRect(120, 120, 6375, 375) << "";
        QTest::newRow("Form2.Command1")
            << Dialog::Form2 << "Command1" << QRect(1920, 600, 1215, 495) << "Add It";
        QTest::newRow("Form2.Command2")
            << Dialog::Form2 << "Command2" << QRect(3240, 600, 1215, 495) << "Cancel";
        QTest::newRow("Form3") << Dialog::Form3 << "" << QRect(0, 0, 9300, 4545) << "";
        QTest::newRow("Form3.Text1")
            << Dialog::Form3 << "Text1" << QRect(120, 240, 9015, 3255) << "";
        QTest::newRow("Form3.Command1")
            << Dialog::Form3 << "Command1" << QRect(2880, 3720, 1215, 495) << "Process";
        QTest::newRow("Form3.Command2")
            << Dialog::Form3 << "Command2" << QRect(5040, 3720, 1215, 495) << "Cancel";
    }
    void dialogsAreLaidOutInTwips()
    {
        QFETCH(Dialog, dialog);
        QFETCH(QString, control);
        QFETCH(QRect, twips);
        QFETCH(QString, caption);
        SessionHarness h;
        startWith(h, threeLinks);
        QWidget* form = open(h, dialog);
        QVERIFY(form);
        const double scale = form->logicalDpiX() / 1440.0;
        const QRect pixels(qRound(twips.x() * scale), qRound(twips.y() * scale),
                           qRound(twips.width() * scale), qRound(twips.height() * scale));
        if (control.isEmpty()) {
            QCOMPARE(form->size(), pixels.size());
            if (!caption.isEmpty())
                QCOMPARE(form->windowTitle(), caption);
            return;
        }
        QWidget* widget = form->findChild<QWidget*>(control);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), pixels);
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            QCOMPARE(button->text(), caption);
            QVERIFY(!button->isDefault() && !button->autoDefault());
        }
    }

    void tabMovesFromTheTextToTheButtons_data()
    {
        addDialogColumn();
        QTest::newRow("Grab") << Dialog::Form2;
        QTest::newRow("Edit") << Dialog::Form3;
    }
    void tabMovesFromTheTextToTheButtons()
    {
        QFETCH(Dialog, dialog);
        SessionHarness h;
        startWith(h, threeLinks);
        QWidget* form = open(h, dialog);
        QVERIFY(form);
        if (!QTest::qWaitForWindowActive(form))
            QSKIP("this platform does not activate windows, so focus cannot move");
        auto* text1 = form->findChild<QWidget*>("Text1");
        text1->setFocus();
        const QString before = text(form);
        QTest::keyClick(text1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->findChild<QWidget*>("Command1"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->findChild<QWidget*>("Command2"));
        QCOMPARE(text(form), before);
    }
};

std::unique_ptr<QObject> makeLayoutTests()
{
    return std::make_unique<LayoutTest>();
}

#include "LayoutTest.moc"
