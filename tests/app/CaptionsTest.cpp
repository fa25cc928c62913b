#include "AppTests.h"
#include "capture/Form2.h"
#include "capture/Form3.h"
#include "support/Harness.h"
#include "themes/Form4.h"

#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTest>

namespace {
// Device pixels between a caption's box and the inside of its control's frame, at either
// density; with less, the caption's letters meet the frame.
constexpr int MinimumMargin = 2;
} // namespace

// Every caption of the toolbar and the dialogs within its control, with room to spare, at
// 96 dpi and at 192 dpi, where the same designed rectangles have twice the device pixels and
// the font is drawn at twice the size, hinted anew.
class TestCaptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_h = std::make_unique<Harness>();
        m_windows = {{QStringLiteral("Form1"), m_h->form.get()}};
        m_dialogs.push_back(std::make_unique<Form2>(*m_h->m));
        m_dialogs.push_back(std::make_unique<Form3>(*m_h->m));
        m_dialogs.push_back(std::make_unique<Form4>(*m_h->m));
        for (const auto& dialog : m_dialogs)
            m_windows.insert(dialog->objectName(), dialog.get());
        // Measured with another family, the figures below would say nothing.
        for (QWidget* window : std::as_const(m_windows))
            QCOMPARE(QFontInfo(window->font()).family(), QStringLiteral("DejaVu Sans"));
    }

    void captionFitsItsControl_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("dpi");
        const QList<std::pair<const char*, QStringList>> controls{
            {"Form1",
             {"Command5", "Command2", "Command4", "Command3", "Command1", "Command6", "Command7",
              "Command9", "Command8"}},
            {"Form2", {"Command1", "Command2"}},
            {"Form3", {"Command1", "Command2"}},
            {"Form4", {"Label2", "Command1", "Command2"}},
        };
        for (const int dpi : {96, 192})
            for (const auto& [window, names] : controls)
                for (const QString& name : names)
                    QTest::addRow("%s %s %d dpi", window, qPrintable(name), dpi)
                        << QString::fromLatin1(window) << name << dpi;
    }
    void captionFitsItsControl()
    {
        QFETCH(QString, window);
        QFETCH(QString, control);
        QFETCH(int, dpi);
        const QWidget* widget = m_windows.value(window)->findChild<QWidget*>(control);
        QVERIFY(widget);
        QString caption;
        QRect room;
        // A button centres its caption within the frame; a label starts it at the left.
        int sides = 2;
        if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
            caption = button->text();
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = caption;
            room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        } else {
            const auto* label = qobject_cast<const QLabel*>(widget);
            QVERIFY(label);
            caption = label->text();
            room = label->contentsRect();
            sides = 1;
        }
        QImage screen(1, 1, QImage::Format_RGB32);
        const int dotsPerMetre = qRound(dpi / 0.0254);
        screen.setDotsPerMeterX(dotsPerMetre);
        screen.setDotsPerMeterY(dotsPerMetre);
        const QFontMetrics metrics(widget->font(), &screen);
        const int scale = dpi / widget->logicalDpiX();
        const int across = (room.width() * scale - metrics.horizontalAdvance(caption)) / sides;
        const int down = (room.height() * scale - metrics.height()) / 2;
        const int margin = std::min(across, down);
        QVERIFY2(margin >= MinimumMargin,
                 qPrintable(QStringLiteral("\"%1\": %2 pixels across, %3 down")
                                .arg(caption)
                                .arg(across)
                                .arg(down)));
    }

    void cleanupTestCase()
    {
        m_windows.clear();
        m_dialogs.clear();
        m_h.reset();
    }

private:
    std::unique_ptr<Harness> m_h;
    std::vector<std::unique_ptr<QWidget>> m_dialogs;
    QMap<QString, QWidget*> m_windows;
};

std::unique_ptr<QObject> makeCaptionsTests()
{
    return std::make_unique<TestCaptions>();
}

#include "CaptionsTest.moc"
