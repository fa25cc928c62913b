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
    m.toolbar->clearList();
    ReloadThemeFile(m, m.LinkIndex);
    m.toolbar->setShownText(shownText);
}
