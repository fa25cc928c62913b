#include "session/Handler.h"

#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "platform/ProgramExit.h"
#include "session/Module1.h"

void reportUnhandledFailure(Module1& m, const Failure& failure)
{
    m.platform.dialogs.messageBox(QStringLiteral("Run-time error '%1':\n\n%2")
                                      .arg(failure.number())
                                      .arg(failure.description()),
                                  QStringLiteral("Quillon"), BoxIcon::CriticalStop);
    ProgramExit::now(1);
}

void runHandler(Module1& m, const std::function<void()>& body)
{
    try {
        try {
            body();
        } catch (const Failure& failure) {
            reportUnhandledFailure(m, failure);
        } catch (const std::exception& error) {
            reportUnhandledFailure(m, Failure(51, QString::fromLocal8Bit(error.what())));
        }
    } catch (const ProgramEnded&) {
        // Only a test's exit handler throws this: the process "ended", unwind quietly.
    }
}
