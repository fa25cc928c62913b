#include "links/ReloadInPlace.h"

#include "app/ClassicComboBox.h"
#include "app/Form1.h"
#include "app/Module1.h"
#include "links/LoadThemeFile.h"

void ReloadThemeFileInPlace(Module1& m)
{
    m.SavedIndex = m.LinkIndex;
    m.RestoreFlag = 1;
    const QString shownText = m.form1->Combo1->Text();
    m.form1->Combo1->Clear();
    LoadThemeFile(m);
    m.form1->Combo1->setText(shownText);
}
