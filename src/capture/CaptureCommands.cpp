#include "capture/CaptureCommands.h"

#include "capture/CaptureFailure.h"
#include "capture/Form2.h"
#include "capture/Form3.h"
#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "platform/FileStore.h"
#include "session/Module1.h"
#include "session/ThemeDocument.h"

#include <memory>

namespace {
void show(Module1& m, CaptureDialog dialog)
{
    if (dialog == CaptureDialog::Form2)
        ModelessDialog::showOrRaise(m.Form2, [&m] { return std::make_unique<Form2>(m); });
    else
        ModelessDialog::showOrRaise(m.Form3, [&m] { return std::make_unique<Form3>(m); });
}

void fallBackToDefaultThemeFile(Module1& m)
{
    m.platform.dialogs.messageBox(
        QStringLiteral("File no longer active.  You must have deleted it."),
        QStringLiteral("Dead File Error"), BoxIcon::CriticalStop);
    m.WriteLogLine(QStringLiteral(" Dead file error occurred trying to add to ") +
                   m.theme().ThemeFile());
    m.theme().LoadThemeFile(m.defaultThemeFile());
}
} // namespace

void CheckThemeFileAndShow(Module1& m, CaptureDialog dialog)
{
    if (refuseWebThemeFile(m, m.theme().ThemeFile()))
        return;
    try {
        FileStore::read(m.theme().ThemeFile(), 0);
        show(m, dialog);
    } catch (const Failure& failure) {
        if (failure.number() == FailureNumber::FileNotFound)
            fallBackToDefaultThemeFile(m);
        else
            reportAddFailure(m, failure.number(), m.theme().ThemeFile());
    }
}

void GrabCommand(Module1& m)
{
    CheckThemeFileAndShow(m, CaptureDialog::Form2);
}

void EditCommand(Module1& m)
{
    CheckThemeFileAndShow(m, CaptureDialog::Form3);
}
