#include "pages/FixedPages.h"

#include "platform/Failure.h"
#include "session/BrowserFailure.h"
#include "session/Module1.h"

void CorvaneCommand(Module1& m)
{
    m.MainBrowser->Navigate(FixedPages::Corvane);
    m.WriteLogLine(QStringLiteral(" User visits Corvane Blog"));
}

void SupportCommand(Module1& m)
{
    try {
        m.WriteLogLine(QStringLiteral(" User visits support page"));
        m.MainBrowser->Navigate(FixedPages::Support);
    } catch (const Failure&) {
        BrowserFailure(m);
    }
}
