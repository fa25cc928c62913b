#include "app/BrowserFailure.h"

#include "app/Module1.h"
#include "platform/Dialogs.h"
#include "platform/ProgramExit.h"

void BrowserFailure(Module1& m)
{
    m.platform.dialogs.messageBox(QStringLiteral("Internet Explorer Error"),
                                  QStringLiteral("MSIE Detection Error"), BoxIcon::Exclamation);
    m.log.WriteSessionEnd({QStringLiteral(" Microsoft Explorer detection failure"),
                           QStringLiteral(" Program terminated with error")});
    ProgramExit::now(1);
}
