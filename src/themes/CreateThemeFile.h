#pragma once

#include <QString>

class Module1;

// Creates the theme file `newThemeName` in the install directory with the starter link and
// makes it current; on any failure the theme file open before is reloaded in place. Closes
// Form4 in every case.
void CreateThemeFile(Module1& m, const QString& newThemeName);
