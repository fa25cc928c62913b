#include "app/Form1.h"

#include "app/ClassicComboBox.h"
#include "app/DesktopLayout.h"
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

#include <QIcon>
#include <QPushButton>

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
    // Above the page, so that a click into it never hides a button.
    setWindowFlag(Qt::WindowStaysOnTopHint);
    layOut();
    m_layout = new DesktopLayout(*this, m);
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

void Form1::createBrowserPair()
{
    m.browserFactory.expectWindowPlacement(m_layout->firstBrowserWindow());
    m.MainBrowser = m.browserFactory.create();
    m.PrefetchBrowser = m.browserFactory.create();
    m.PrefetchBrowser->setVisible(false);
    m.MainBrowser->setVisible(true);
    m_layout->followBrowser();
    m_stepKeys->watch();
}

void Form1::Form_Load(const QString& themeFile)
{
    m_layout->placeToolbar();
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
