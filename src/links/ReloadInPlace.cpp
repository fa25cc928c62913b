#include "links/ReloadInPlace.h"

#include "app/ClassicComboBox.h"
#include "app/Form1.h"
#include "app/Module1.h"
#include "links/LoadThemeFile.h"

void ReloadThemeFileInPlace(Module1& m)
{
    ReloadThemeFileInPlace(m, m.form1->Combo1->Text());
}

void ReloadThemeFileInPlace(Module1& m, const QString& shownText)
{
    m.SavedIndex = m.LinkIndex;
    m.RestoreFlag = 1;
    m.form1->Combo1->Clear();
    LoadThemeFile(m);
    m.form1->Combo1->setText(shownText);
}
