#include "capture/CaptureFailure.h"

#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "session/Module1.h"

void reportAddFailure(Module1& m, int number, const QString& path)
{
    m.platform.dialogs.messageBox(QStringLiteral("Uknown Error") + formatNumber(number),
                                  QStringLiteral("Uknown Error"), BoxIcon::CriticalStop);
    m.WriteLogLine(QStringLiteral(" Uknown error ") + formatNumber(number) +
                   QStringLiteral(" occurred trying to add link to ") + path);
}
