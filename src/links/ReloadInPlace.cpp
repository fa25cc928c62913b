#include "links/ReloadInPlace.h"

#include "links/LoadThemeFile.h"
#include "session/Module1.h"
#include "session/Toolbar.h"

void ReloadThemeFileInPlace(Module1& m)
{
    ReloadThemeFileInPlace(m, m.toolbar->shownText());
}

void ReloadThemeFileInPlace(Module1& m, const QString& shownText)
{
    m.SavedIndex = m.LinkIndex;
    m.RestoreFlag = 1;
    m.toolbar->clearList();
    LoadThemeFile(m);
    m.toolbar->setShownText(shownText);
}
