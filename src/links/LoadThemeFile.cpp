#include "links/LoadThemeFile.h"

#include "links/ThemeFileLoad.h"

void LoadThemeFile(Module1& m)
{
    ThemeFileLoad(m, std::nullopt).run();
}

void LoadNamedThemeFile(Module1& m)
{
    ThemeFileLoad(m, std::nullopt, true).run();
}

void ReloadThemeFile(Module1& m, qint16 savedIndex)
{
    ThemeFileLoad(m, savedIndex).run();
}
