#include "themes/ThemeCommands.h"

#include "platform/CommonDialog.h"
#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "platform/FileStore.h"
#include "platform/ProgramExit.h"
#include "session/Module1.h"
#include "session/ThemeDocument.h"
#include "session/Toolbar.h"
#include "themes/Form4.h"
#include "web/WebAddress.h"

namespace {
const QString ThemeFilter = QStringLiteral("Quillon Data Files (*.qld)|*.qld");

// False when the file does not open: whatever keeps it from opening is a name to correct.
bool openChosen(Module1& m, const QString& file)
{
    // An address is proved by its reading, which meets every failure itself.
    if (WebAddress::is(file)) {
        m.theme().LoadThemeFile(file);
        return true;
    }
    try {
        FileStore::read(file, 0);
    } catch (const Failure&) {
        return false;
    }
    m.theme().LoadThemeFile(file);
    return true;
}

// One showing of the dialog and what follows it. False when the chosen file does not open
// (no such file, a folder that is not there, a folder chosen as a file, access refused).
bool chooseThemeFile(Module1& m)
{
    CommonDialog& dialog = m.toolbar->fileDialog();
    dialog.ShowOpen();
    if (dialog.FileName.isEmpty()) {
        m.WriteLogLine(QStringLiteral(" User canceled new file operation - kept current file ") +
                       WebAddress::shown(m.theme().ThemeFile()));
        m.theme().ReloadInPlace(m.theme().ThemeFile());
        return true;
    }
    return openChosen(m, dialog.FileName);
}

void prepareDialog(Module1& m)
{
    m.WriteLogLine(QStringLiteral(" User Activates File Dialog"));
    CommonDialog& dialog = m.toolbar->fileDialog();
    dialog.InitDir = m.platform.installDir;
    dialog.Filter = ThemeFilter;
    dialog.FileName.clear();
}

// Any failure but a name to correct ends the program.
template <typename Step> auto orEnd(Step step)
{
    try {
        return step();
    } catch (const Failure&) {
        ProgramExit::now(0);
    }
}

void reportBadFileName(Module1& m, const QString& file)
{
    m.WriteLogLine(QStringLiteral(" User attempted to open bad file name ") + file);
    m.platform.dialogs.messageBox(QStringLiteral("Check File Name"),
                                  QStringLiteral("File Open Error"), BoxIcon::CriticalStop);
}
} // namespace

void FileCommand(Module1& m)
{
    orEnd([&m] { prepareDialog(m); });
    // A failure while reporting leaves this handler and gets the generic report.
    CommonDialog& dialog = m.toolbar->fileDialog();
    while (!orEnd([&m] { return chooseThemeFile(m); })) {
        reportBadFileName(m, dialog.FileName);
        dialog.FileName.clear();
    }
}

void OpenThemeFile(Module1& m, const QString& file)
{
    if (!orEnd([&m, &file] { return openChosen(m, file); }))
        reportBadFileName(m, file);
}

void NewCommand(Module1& m)
{
    Form4::showFor(m);
}
