#include "links/LinkCursor.h"

#include "browser/StepTrace.h"
#include "platform/Failure.h"
#include "platform/Int16.h"
#include "session/BrowserFailure.h"
#include "session/Module1.h"
#include "session/Toolbar.h"

namespace {
// The link that "Right" shows next: the following one, or link 1 after the last.
qint16 nextIndex(const Module1& m)
{
    return m.LinkIndex < m.LinkCount ? add16(m.LinkIndex, 1) : qint16(1);
}

// `back`: a step back to the link shown before, which the window may bring back from its
// history.
void showLink(Module1& m, bool back)
{
    try {
        m.toolbar->setShownText(m.Links.at(m.LinkIndex));
        if (back)
            m.MainBrowser->NavigateBack(m.Links.at(m.LinkIndex));
        else
            m.MainBrowser->Navigate(m.Links.at(m.LinkIndex));
        // An empty list has nothing to fetch ahead.
        if (m.LinkCount > 0)
            m.PrefetchBrowser->Navigate(m.Links.at(nextIndex(m)));
    } catch (const Failure&) {
        BrowserFailure(m);
    }
}
} // namespace

void ShowCurrentLink(Module1& m)
{
    showLink(m, false);
}

// The cursor stays on 1..LinkCount, and on 1 when the list is empty.
void MoveLeft(Module1& m)
{
    StepTrace::mark("handler");
    m.LinkIndex = add16(m.LinkIndex, -1);
    if (m.LinkIndex < 1)
        m.LinkIndex = qMax(m.LinkCount, qint16(1));
    showLink(m, true);
}

void MoveRight(Module1& m)
{
    StepTrace::mark("handler");
    m.LinkIndex = add16(m.LinkIndex, 1);
    if (m.LinkIndex > m.LinkCount)
        m.LinkIndex = 1;
    ShowCurrentLink(m);
}

void SelectFromList(Module1& m)
{
    try {
        m.WriteLogLine(QStringLiteral(" User selects from listbox"));
        m.MainBrowser->Navigate(m.toolbar->shownText());
    } catch (const Failure&) {
        BrowserFailure(m);
    }
}
