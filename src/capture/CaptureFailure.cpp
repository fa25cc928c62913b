#include "capture/CaptureFailure.h"

#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "session/Module1.h"
#include "web/WebAddress.h"

void reportAddFailure(Module1& m, int number, const QString& path)
{
    m.platform.dialogs.messageBox(QStringLiteral("Uknown Error") + formatNumber(number),
                                  QStringLiteral("Uknown Error"), BoxIcon::CriticalStop);
    m.WriteLogLine(QStringLiteral(" Uknown error ") + formatNumber(number) +
                   QStringLiteral(" occurred trying to add link to ") + path);
}

bool refuseWebThemeFile(Module1& m, const QString& path)
{
    if (!WebAddress::is(path))
        return false;
    m.WriteLogLine(QStringLiteral(" User tries to change the theme file on the web ") +
                   WebAddress::shown(path));
    m.platform.dialogs.messageBox(
        QStringLiteral("This theme file is on the web. Quillon cannot add links to it or change "
                       "it. Open or create a theme file on this computer to do that."),
        QStringLiteral("Web Theme File"), BoxIcon::Exclamation);
    return true;
}
