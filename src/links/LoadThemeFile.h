#pragma once

#include <QtGlobal>

class Module1;

// Makes the file named by ThemeFile the current list: the list is emptied and refilled and its
// first link shown in both browsers. Reports its own failures.
void LoadThemeFile(Module1& m);
// Reads the file named by ThemeFile again in place: the caller has emptied the list, which is
// refilled; the position becomes `savedIndex` and the browsers keep their pages.
void ReloadThemeFile(Module1& m, qint16 savedIndex);
