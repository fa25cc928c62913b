#include "SessionTests.h"

#include "session/QuietMoment.h"

#include <QTest>
#include <QWidget>

// What waits runs once the window that held it has closed, with nothing but the close to go
// by; the toolbar itself never holds anything.
class TestQuietMoment : public QObject
{
    Q_OBJECT
    QWidget m_toolbar;

private slots:
    void init() { m_toolbar.show(); }

    void waiterRunsOnceWhatHeldItCloses_data()
    {
        QTest::addColumn<Qt::WindowType>("type");
        QTest::addColumn<Qt::WindowModality>("modality");
        QTest::addColumn<bool>("holdsModalOrPopupWaiter");
        QTest::addColumn<bool>("holdsAnyWindowWaiter");
        QTest::newRow("message box") << Qt::Dialog << Qt::ApplicationModal << true << true;
        QTest::newRow("modeless dialog") << Qt::Dialog << Qt::NonModal << false << true;
        QTest::newRow("dropped-down list") << Qt::Popup << Qt::NonModal << true << false;
        QTest::newRow("tooltip") << Qt::ToolTip << Qt::NonModal << false << false;
    }
    void waiterRunsOnceWhatHeldItCloses()
    {
        QFETCH(Qt::WindowType, type);
        QFETCH(Qt::WindowModality, modality);
        QFETCH(bool, holdsModalOrPopupWaiter);
        QFETCH(bool, holdsAnyWindowWaiter);
        QWidget window(nullptr, type);
        window.setWindowModality(modality);
        window.show();
        QuietMoment modalOrPopup;
        QuietMoment anyWindow(nullptr,
                              [this] { return QuietMoment::windowOpenBeside(&m_toolbar); });
        int modalOrPopupRan = 0;
        int anyWindowRan = 0;
        modalOrPopup.run([&] { ++modalOrPopupRan; });
        anyWindow.run([&] { ++anyWindowRan; });
        QCOMPARE(modalOrPopupRan, holdsModalOrPopupWaiter ? 0 : 1);
        QCOMPARE(anyWindowRan, holdsAnyWindowWaiter ? 0 : 1);
        window.close();
        QTRY_COMPARE(modalOrPopupRan, 1);
        QTRY_COMPARE(anyWindowRan, 1);
    }
};

std::unique_ptr<QObject> makeQuietMomentTests()
{
    return std::make_unique<TestQuietMoment>();
}

#include "TestQuietMoment.moc"
