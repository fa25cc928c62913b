#include "themes/CreateThemeFile.h"

#include "links/LoadThemeFile.h"
#include "links/ReloadInPlace.h"
#include "links/format/LinkField.h"
#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "platform/FileStore.h"
#include "session/Module1.h"

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
    m.ThemeFile = previousThemeFile;
    ReloadThemeFileInPlace(m);
    closeForm4(m);
}
} // namespace

void CreateThemeFile(Module1& m, const QString& previousThemeFile)
{
    const QString path = m.installPath(m.NewThemeName);
    try {
        // Exclusive: a name that turned up since the existence test is never emptied.
        FileStore::createExclusive(path, LinkField::asField(m.starterPage()).toUtf8() +
                                             QByteArrayLiteral("\r\n"));
        m.ThemeFile = path;
        LoadThemeFile(m);
        m.WriteLogLine(QLatin1Char(' ') + m.NewThemeName + QStringLiteral(" successfully created"));
        closeForm4(m);
    } catch (const Failure&) {
        // A failure while falling back leaves this handler and gets the generic report.
        restorePreviousThemeFile(m, previousThemeFile);
    }
}
