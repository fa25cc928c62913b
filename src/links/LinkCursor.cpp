#include "links/LinkCursor.h"

#include "app/BrowserFailure.h"
#include "app/ClassicComboBox.h"
#include "app/Form1.h"
#include "app/Module1.h"
#include "platform/Failure.h"
#include "platform/Int16.h"

void ShowCurrentLink(Module1& m)
{
    try {
        m.form1->Combo1->setText(m.Links.at(m.LinkIndex));
        m.MainBrowser->Navigate(m.Links.at(m.LinkIndex));
        m.PrefetchBrowser->Navigate(m.Links.at(add16(m.LinkIndex, 1)));
    } catch (const Failure&) {
        BrowserFailure(m);
    }
}

void MoveLeft(Module1& m)
{
    m.LinkIndex = add16(m.LinkIndex, -1);
    if (m.LinkIndex == 0)
        m.LinkIndex = m.LinkCount;
    ShowCurrentLink(m);
}

void MoveRight(Module1& m)
{
    m.LinkIndex = add16(m.LinkIndex, 1);
    if (m.LinkIndex > m.LinkCount)
        m.LinkIndex = 1;
    ShowCurrentLink(m);
}

void SelectFromList(Module1& m)
{
    try {
        m.WriteLogLine(QStringLiteral(" User selects from listbox"));
        m.MainBrowser->Navigate(m.form1->Combo1->Text());
    } catch (const Failure&) {
        BrowserFailure(m);
    }
}
