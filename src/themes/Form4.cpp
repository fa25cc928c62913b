#include "themes/Form4.h"

#include "app/DialogWindow.h"
#include "app/Form1.h"
#include "app/Handler.h"
#include "app/Module1.h"
#include "platform/Dialogs.h"
#include "platform/FileStore.h"
#include "themes/CreateThemeFile.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

namespace {
const QString ThemeExtension = QStringLiteral(".qld");
}

void Form4::showFor(Module1& m)
{
    if (m.Form4) {
        if (m.Form4->isMinimized())
            m.Form4->showNormal();
        m.Form4->raise();
        m.Form4->activateWindow();
        return;
    }
    std::unique_ptr<Form4> form(new Form4(m));
    form->Form_Load();
    m.Form4 = form.release();
    m.Form4->show();
    m.Form4->activateWindow();
}

Form4::Form4(Module1& m) : QWidget(nullptr, dialogWindowFlags), m(m)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Create New Theme File"));
    setAttribute(Qt::WA_DeleteOnClose);
    layOut();
    connectHandlers();
    // Without an owner nothing else would delete it, and it must not outlive the shared state.
    connect(m.form1, &QObject::destroyed, this, [this] { delete this; });
}

QRect Form4::pixels(QRect twips) const
{
    const Form1& form1 = *m.form1;
    return {form1.twipsToPixels(twips.x()), form1.twipsToPixels(twips.y()),
            form1.twipsToPixels(twips.width()), form1.twipsToPixels(twips.height())};
}

QLabel* Form4::addLabel(const char* name, const QString& caption, QRect twips)
{
    auto* label = new QLabel(caption, this);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(pixels(twips));
    return label;
}

QPushButton* Form4::addButton(const char* name, const QString& caption, QRect twips)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(pixels(twips));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

void Form4::layOut()
{
    setFixedSize(pixels({0, 0, ClientWidthTwips, ClientHeightTwips}).size());
    Label2 =
        addLabel("Label2", QStringLiteral("Enter Name of New Theme File"), {120, 120, 6375, 255});
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(pixels({120, 480, 6375, 285}));
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
    connect(Command1, &QPushButton::clicked, this,
            [this] { runHandler(m, [this] { Command1_Click(); }); });
    connect(Command2, &QPushButton::clicked, this,
            [this] { runHandler(m, [this] { Command2_Click(); }); });
    // Enter and the keypad's Enter alike; no other key runs anything.
    connect(Text1, &QLineEdit::returnPressed, this,
            [this] { runHandler(m, [this] { Command1_Click(); }); });
}

void Form4::closeEvent(QCloseEvent* event)
{
    // Closed is gone: the next New loads the dialog afresh, even before the deferred delete.
    if (m.Form4 == this)
        m.Form4 = nullptr;
    QWidget::closeEvent(event);
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
    const QString previousThemeFile = m.ThemeFile;
    if (Text1->text().isEmpty()) {
        m.WriteLogLine(QStringLiteral(" Create job was cancelled because of no file name entered"));
        close();
        return;
    }
    completeExtension();
    m.NewThemeName = Text1->text();
    // Anything at all by that name counts, readable or not: an existing file is never emptied.
    if (FileStore::exists(m.installPath(m.NewThemeName))) {
        close();
        m.platform.dialogs.messageBox(QStringLiteral("File Already Exists"),
                                      QStringLiteral("File Creation Error"), BoxIcon::CriticalStop);
        m.WriteLogLine(QLatin1Char(' ') + m.NewThemeName +
                       QStringLiteral(" already existed, file creation aborted"));
        return;
    }
    CreateThemeFile(m, previousThemeFile);
}
