#include "themes/ThemeCommands.h"

#include "links/LoadThemeFile.h"
#include "links/ReloadInPlace.h"
#include "platform/CommonDialog.h"
#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "platform/ProgramExit.h"
#include "platform/TextFile.h"
#include "session/Module1.h"
#include "session/Toolbar.h"
#include "themes/Form4.h"

namespace {
const QString ThemeFilter = QStringLiteral("Quillon Data Files (*.qld)|*.qld");

// Proves that the chosen file can be opened. Whatever keeps it from opening (no such file, a
// folder that is not there, a folder chosen as a file, access refused) is a name the user has
// to correct, so it is reported as a file that cannot be found rather than ending the program.
void probeChosenFile(const QString& path)
{
    try {
        TextFile::probe(path);
    } catch (const Failure&) {
        throw Failure(FailureNumber::FileNotFound);
    }
}

// One showing of the dialog and what follows it. Returns normally when the command is done.
void chooseThemeFile(Module1& m)
{
    CommonDialog& dialog = m.toolbar->fileDialog();
    dialog.ShowOpen();
    if (dialog.FileName.isEmpty()) {
        m.WriteLogLine(QStringLiteral(" User canceled new file operation - kept current file ") +
                       m.ThemeFile);
        ReloadThemeFileInPlace(m);
        return;
    }
    m.ThemeFile = dialog.FileName;
    probeChosenFile(dialog.FileName);
    LoadThemeFile(m);
}

void reportBadFileName(Module1& m, const QString& previousThemeFile)
{
    CommonDialog& dialog = m.toolbar->fileDialog();
    m.WriteLogLine(QStringLiteral(" User attempted to open bad file name ") + dialog.FileName);
    m.platform.dialogs.messageBox(QStringLiteral("Check File Name"),
                                  QStringLiteral("File Open Error"), BoxIcon::CriticalStop);
    m.ThemeFile = previousThemeFile;
    dialog.FileName.clear();
}
} // namespace

void FileCommand(Module1& m)
{
    const QString previousThemeFile = m.ThemeFile;
    bool dialogPrepared = false;
    for (;;) {
        try {
            if (!dialogPrepared) {
                m.WriteLogLine(QStringLiteral(" User Activates File Dialog"));
                CommonDialog& dialog = m.toolbar->fileDialog();
                dialog.InitDir = m.platform.installDir;
                dialog.Filter = ThemeFilter;
                dialog.FileName.clear();
                dialogPrepared = true;
            }
            chooseThemeFile(m);
            return;
        } catch (const Failure& failure) {
            if (failure.number() != FailureNumber::FileNotFound)
                ProgramExit::now(0);
            // A failure while reporting leaves this handler and gets the generic report.
            reportBadFileName(m, previousThemeFile);
        }
    }
}

void NewCommand(Module1& m)
{
    Form4::showFor(m);
}
