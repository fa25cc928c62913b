#include "themes/CreateThemeFile.h"

#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "session/Module1.h"
#include "session/ThemeDocument.h"

namespace {
void closeForm4(Module1& m)
{
    if (m.Form4)
        m.Form4->close();
}

void restorePreviousThemeFile(Module1& m, const QString& previousThemeFile)
{
    m.WriteLogLine(QStringLiteral(" General file creation error.  Aborted"));
    m.platform.dialogs.messageBox(QStringLiteral("Bad File Name or Other File Error"),
                                  QStringLiteral("File Creation Error"), BoxIcon::CriticalStop);
    m.theme().ReloadInPlace(previousThemeFile);
    closeForm4(m);
}
} // namespace

void CreateThemeFile(Module1& m, const QString& newThemeName)
{
    const QString previousThemeFile = m.theme().ThemeFile();
    const QString path = m.installPath(newThemeName);
    try {
        m.theme().Create(path, m.starterPage());
        m.WriteLogLine(QLatin1Char(' ') + newThemeName + QStringLiteral(" successfully created"));
        closeForm4(m);
    } catch (const Failure&) {
        // A failure while falling back leaves this handler and gets the generic report.
        restorePreviousThemeFile(m, previousThemeFile);
    }
}
