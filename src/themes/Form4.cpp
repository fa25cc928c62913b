#include "themes/Form4.h"

#include "platform/Dialogs.h"
#include "platform/FileStore.h"
#include "session/Module1.h"
#include "themes/CreateThemeFile.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

namespace {
const QString ThemeExtension = QStringLiteral(".qld");
}

void Form4::showFor(Module1& m)
{
    showOrRaise(m.Form4, [&m] { return std::make_unique<Form4>(m); });
}

Form4::Form4(Module1& m)
    : ModelessDialog(m, m.Form4, "Form4", QStringLiteral("Create New Theme File"),
                     {ClientWidthTwips, ClientHeightTwips})
{
    layOut();
    connectHandlers();
}

QLabel* Form4::addLabel(const char* name, const QString& caption, QRect twips)
{
    auto* label = new QLabel(caption, this);
    place(label, name, twips);
    return label;
}

void Form4::layOut()
{
    Label2 =
        addLabel("Label2", QStringLiteral("Enter Name of New Theme File"), {120, 120, 6375, 255});
    Text1 = new QLineEdit(this);
    place(Text1, "Text1", {120, 480, 6375, 285});
    // Covered by the name box, as it always was; nothing uses it.
    Label1 = addLabel("Label1", QStringLiteral("Label1"), {2760, 480, 1215, 495});
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->stackUnder(Text1);
    Command1 = addButton("Command1", QStringLiteral("Create It"), {1800, 960, 1215, 495});
    Command2 = addButton("Command2", QStringLiteral("Cancel"), {3240, 960, 1215, 495});
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Command2);
    Text1->setFocus();
}

void Form4::connectHandlers()
{
    onClick(Command1, [this] { Command1_Click(); });
    onClick(Command2, [this] { Command2_Click(); });
    // Enter and the keypad's Enter alike; no other key runs anything.
    connect(Text1, &QLineEdit::returnPressed, this,
            [this] { runHandler([this] { Command1_Click(); }); });
}

void Form4::Form_Load()
{
    m.WriteLogLine(QStringLiteral(" User selects NEW"));
}

void Form4::Command2_Click()
{
    m.WriteLogLine(QStringLiteral(" User cancels new file creation"));
    close();
}

void Form4::completeExtension()
{
    if (!Text1->text().endsWith(ThemeExtension, Qt::CaseSensitive))
        Text1->setText(Text1->text() + ThemeExtension);
}

void Form4::Command1_Click()
{
    if (Text1->text().isEmpty()) {
        m.WriteLogLine(QStringLiteral(" Create job was cancelled because of no file name entered"));
        close();
        return;
    }
    completeExtension();
    const QString newThemeName = Text1->text();
    // Anything at all by that name counts, readable or not: an existing file is never emptied.
    if (FileStore::exists(m.installPath(newThemeName))) {
        close();
        m.platform.dialogs.messageBox(QStringLiteral("File Already Exists"),
                                      QStringLiteral("File Creation Error"), BoxIcon::CriticalStop);
        m.WriteLogLine(QLatin1Char(' ') + newThemeName +
                       QStringLiteral(" already existed, file creation aborted"));
        return;
    }
    CreateThemeFile(m, newThemeName);
}
