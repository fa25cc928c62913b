#include "capture/Form2.h"

#include "capture/CaptureFailure.h"
#include "platform/Failure.h"
#include "session/Module1.h"
#include "session/ThemeDocument.h"
#include "session/Toolbar.h"

#include <QLineEdit>
#include <QPushButton>

namespace {
Browser& mainBrowser(Module1& m)
{
    if (!m.MainBrowser)
        throw Failure(FailureNumber::ObjectDisconnected);
    return *m.MainBrowser;
}
} // namespace

Form2::Form2(Module1& m)
    : ModelessDialog(m, m.Form2, "Form2", QStringLiteral("Add the Current Link"),
                     {ClientWidthTwips, ClientHeightTwips})
{
    Text1 = new QLineEdit(this);
    place(Text1, "Text1", {120, 120, 6375, 375});
    Command1 = addButton("Command1", QStringLiteral("Add It"), {1920, 600, 1215, 495});
    Command2 = addButton("Command2", QStringLiteral("Cancel"), {3240, 600, 1215, 495});
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Command2);

    onClick(Command1, [this] { Command1_Click(); });
    onClick(Command2, [this] { Command2_Click(); });
    // The line edit passes Enter on to this window, which has no default button to click:
    // Add It runs once.
    connect(Text1, &QLineEdit::returnPressed, this,
            [this] { runHandler([this] { Command1_Click(); }); });
}

void Form2::Form_Load()
{
    Text1->setText(mainBrowser(m).LocationURL());
    m.WriteLogLine(QStringLiteral(" User grabs ") + mainBrowser(m).LocationURL());
}

void Form2::Command1_Click()
{
    const QString path = m.theme().ThemeFile();
    // A list on the web opened while the dialog was open: the dialog stays for another list.
    if (refuseWebThemeFile(m, path))
        return;
    try {
        m.theme().AppendLink(Text1->text());
    } catch (const Failure& failure) {
        // The file keeps its content and the dialog its text, so the user can try again.
        reportAddFailure(m, failure.number(), path);
        return;
    }
    m.toolbar->setShownText(QStringLiteral("Current link added to end of file."));
    m.WriteLogLine(QStringLiteral(" Grab job processed successfully"));
    Unload();
}

void Form2::Command2_Click()
{
    m.WriteLogLine(QStringLiteral(" User terminates grab, nothing recorded"));
    Unload();
}
