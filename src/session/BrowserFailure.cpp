#include "session/BrowserFailure.h"

#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "platform/ProgramExit.h"
#include "session/BrowserRestart.h"
#include "session/Handler.h"
#include "session/Module1.h"

void BrowserFailure(Module1& m)
{
    // Nobody may be there to read the box: the browser is started again instead. Before the
    // steps have begun there is no list on show to come back to: the program ends without a
    // box, and the service that runs the screen starts it again.
    if (m.browserRestart) {
        m.browserRestart->browserEnded();
        return;
    }
    if (!m.unattended)
        m.platform.dialogs.messageBox(QStringLiteral("Internet Explorer Error"),
                                      QStringLiteral("MSIE Detection Error"), BoxIcon::Exclamation);
    try {
        m.log.WriteSessionEnd({QStringLiteral(" Microsoft Explorer detection failure"),
                               QStringLiteral(" Program terminated with error")});
    } catch (const Failure& failure) {
        // No failure path of its own: the end comes through the generic report, and no caller
        // may take this for a failure of its own step.
        reportUnhandledFailure(m, failure);
    }
    ProgramExit::now(1);
}
