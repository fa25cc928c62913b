#include "links/LoadThemeFile.h"

#include "app/Module1.h"

void LoadThemeFile(Module1& m)
{
    m.RestoreFlag = 0;
    m.SavedIndex = 0;
}
