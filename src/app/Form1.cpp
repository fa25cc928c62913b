#include "app/Form1.h"

#include "app/ClassicComboBox.h"
#include "app/StepKeys.h"
#include "capture/CaptureCommands.h"
#include "pages/FixedPages.h"
#include "platform/Failure.h"
#include "platform/ProgramExit.h"
#include "platform/Resources.h"
#include "platform/Twips.h"
#include "session/BrowserFailure.h"
#include "session/Controls.h"
#include "session/Handler.h"
#include "session/Module1.h"
#include "session/ThemeDocument.h"
#include "themes/ThemeCommands.h"

#include <QGuiApplication>
#include <QIcon>
#include <QPushButton>
#include <QScreen>

Form1::Form1(Module1& m, QWidget* parent) : QWidget(parent), CommonDialog1(m.platform.dialogs), m(m)
{
    initResources();
    m.toolbar = this;
    m_stepKeys = new StepKeys(m, this);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(DesignedCaption));
    setWindowIcon(QIcon(QStringLiteral(":/icons/icon.png")));
    QPalette grey = palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(grey);
    setAutoFillBackground(true);
    setFont(Controls::font());
    layOut();
    connectHandlers();
    followTheme();
}

int Form1::twipsToPixels(int twips) const
{
    return Twips::toPixels(twips, logicalDpiX());
}

QString Form1::shownText() const
{
    return Combo1->Text();
}

void Form1::setShownText(const QString& text)
{
    Combo1->setText(text);
}

CommonDialog& Form1::fileDialog()
{
    return CommonDialog1;
}

void Form1::layOut()
{
    setFixedHeight(twipsToPixels(ClientHeightTwips));
    resize(twipsToPixels(ClientWidthTwips), twipsToPixels(ClientHeightTwips));
    // Created in tab order, which Qt follows for focus chains.
    using Controls::addButton;
    QList<QWidget*> chain{
        addButton(this, "Command5", QStringLiteral("File"), {120, 120, 735, 495}),
        addButton(this, "Command2", QStringLiteral("Left"), {1080, 120, 735, 495}),
        addButton(this, "Command4", QStringLiteral("Right"), {1800, 120, 735, 495}),
        addButton(this, "Command3", QStringLiteral("Corvane"), {2760, 120, 735, 495}),
        addButton(this, "Command1", QStringLiteral("End"), {3720, 120, 735, 495}),
        addButton(this, "Command6", QStringLiteral("Grab"), {4560, 480, 1215, 255}),
        addButton(this, "Command7", QStringLiteral("Edit"), {5760, 480, 1215, 255}),
        addButton(this, "Command9", QStringLiteral("New"), {6960, 480, 1095, 255}),
        addButton(this, "Command8", QStringLiteral("Support"), {8040, 480, 1215, 255}),
    };
    Combo1 = new ClassicComboBox(this);
    Controls::place(Combo1, "Combo1", {4560, 120, 4695, 315});
    chain << Combo1;
    for (qsizetype i = 0; i + 1 < chain.size(); ++i)
        setTabOrder(chain.at(i), chain.at(i + 1));
}

void Form1::connectHandlers()
{
    enum Shows : bool { NoPage = false, APage = true };
    auto on = [this](const char* name, void (*command)(Module1&), Shows shows) {
        connect(findChild<QPushButton*>(QString::fromLatin1(name)), &QPushButton::clicked, this,
                [this, command, shows] {
                    runHandler(m, [this, command] { command(m); });
                    if (shows)
                        emit pageAsked();
                });
    };
    on("Command5", &FileCommand, NoPage);
    on(
        "Command2", [](Module1& m) { m.theme().MoveLeft(); }, APage);
    on(
        "Command4", [](Module1& m) { m.theme().MoveRight(); }, APage);
    on("Command6", &GrabCommand, NoPage);
    on("Command7", &EditCommand, NoPage);
    on("Command9", &NewCommand, NoPage);
    on("Command3", &CorvaneCommand, APage);
    on("Command8", &SupportCommand, APage);
    connect(findChild<QPushButton*>(QStringLiteral("Command1")), &QPushButton::clicked, this,
            [this] { runHandler(m, [this] { Command1_Click(); }); });
    connect(Combo1, &ClassicComboBox::picked, this, [this] {
        runHandler(m, [this] { m.theme().SelectFromList(); });
        emit pageAsked();
    });
    connect(m_stepKeys, &StepKeys::stepped, this, &Form1::pageAsked);
}

// The list and the caption show the open theme file as each load reaches them.
void Form1::followTheme()
{
    const ThemeDocument* theme = &m.theme();
    connect(theme, &ThemeDocument::listCleared, Combo1, &ClassicComboBox::Clear);
    connect(theme, &ThemeDocument::linksAppended, Combo1, [this](const QStringList& links) {
        for (const QString& link : links)
            Combo1->AddItem(link);
    });
    connect(theme, &ThemeDocument::captionChanged, this, &QWidget::setWindowTitle);
}

void Form1::moveToTopOfScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    move(0, 0);
    if (screen)
        resize(screen->geometry().width(), height());
}

// The frame that a window manager puts round the toolbar is known only once the window is on
// the screen; the whole window, frame included, then spans the screen's width.
void Form1::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    const int frameWidth = frameGeometry().width() - width();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (m_fittedToFrame || frameWidth <= 0 || !screen)
        return;
    m_fittedToFrame = true;
    resize(screen->geometry().width() - frameWidth, height());
}

// The browser window goes below the toolbar, sized after the screen.
QRectF Form1::browserPlacement()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect pixels = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    const qreal dpiX = screen ? screen->logicalDotsPerInchX() : 96.0;
    const qreal dpiY = screen ? screen->logicalDotsPerInchY() : 96.0;
    return {0, 78, Twips::fromPixels(pixels.width(), dpiX) * 0.067,
            Twips::fromPixels(pixels.height(), dpiY) * 0.055};
}

void Form1::createBrowserPair()
{
    const QRectF placed = browserPlacement();
    m.browserFactory.expectWindowPlacement(placed);
    m.MainBrowser = m.browserFactory.create();
    m.PrefetchBrowser = m.browserFactory.create();
    m.PrefetchBrowser->setVisible(false);
    m.MainBrowser->setVisible(true);
    m.MainBrowser->setTop(placed.top());
    m.MainBrowser->setLeft(placed.left());
    m.MainBrowser->setWidth(placed.width());
    m.MainBrowser->setHeight(placed.height());
    m_stepKeys->watch();
}

void Form1::Form_Load(const QString& themeFile)
{
    moveToTopOfScreen();
    m.log.InitActivityLog();
    m.WriteLogLine(QStringLiteral(" Program Activated"));
    try {
        // The window is made on the list's first link, so that its page loads while the rest of
        // the start-up runs; the load below still decides what is shown.
        m.browserFactory.expectFirstLink(
            m.theme().firstLinkOf(themeFile.isEmpty() ? m.defaultThemeFile() : themeFile));
        createBrowserPair();
        if (themeFile.isEmpty())
            m.theme().LoadThemeFile(m.defaultThemeFile());
        else
            m.theme().LoadNamedThemeFile(themeFile);
        m.WriteLogLine(QStringLiteral(" Program initiation considered normal"));
    } catch (const Failure&) {
        BrowserFailure(m);
    }
}

void Form1::Command1_Click()
{
    try {
        m.log.WriteSessionEnd({QStringLiteral(" Program terminated normally")});
        if (m.MainBrowser)
            m.MainBrowser->Quit();
    } catch (const Failure&) {
        // Ends all the same, with nothing further written.
    }
    ProgramExit::now(0);
}
