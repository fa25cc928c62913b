#include "links/LoadThemeFile.h"

#include "links/ThemeFileLoad.h"

void LoadThemeFile(Module1& m)
{
    ThemeFileLoad(m).run();
}
