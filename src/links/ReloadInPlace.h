#pragma once

#include <QString>

class Module1;

// Reads the current theme file again while keeping the position, the browsers' pages and the
// text that Combo1 shows: after a dialog changed the file, or changed nothing.
void ReloadThemeFileInPlace(Module1& m);
// The same, with `shownText` in Combo1 afterwards.
void ReloadThemeFileInPlace(Module1& m, const QString& shownText);
