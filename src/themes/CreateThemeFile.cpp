#include "themes/CreateThemeFile.h"

#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "platform/FileStore.h"
#include "session/Module1.h"
#include "session/ThemeDocument.h"
#include "themefile/LinkField.h"

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
        // Exclusive: a name that turned up since the existence test is never emptied.
        FileStore::append(path,
                          LinkField::asField(m.starterPage()).toUtf8() + QByteArrayLiteral("\r\n"),
                          FileStore::Create::New);
        m.theme().LoadThemeFile(path);
        m.WriteLogLine(QLatin1Char(' ') + newThemeName + QStringLiteral(" successfully created"));
        closeForm4(m);
    } catch (const Failure&) {
        // A failure while falling back leaves this handler and gets the generic report.
        restorePreviousThemeFile(m, previousThemeFile);
    }
}
