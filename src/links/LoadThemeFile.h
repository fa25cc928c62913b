#pragma once

#include <QtGlobal>

class Module1;

// Makes the file named by ThemeFile the current list: the list is emptied and refilled and its
// first link shown in both browsers. Reports its own failures.
void LoadThemeFile(Module1& m);
// The same for a file named from outside at start-up: when it cannot be opened for whatever
// reason, the default theme file takes its place after the load's box, so that the toolbar
// starts with a list.
void LoadNamedThemeFile(Module1& m);
// Reads the file named by ThemeFile again in place: the caller has emptied the list, which is
// refilled; the position becomes `savedIndex` and the browsers keep their pages.
void ReloadThemeFile(Module1& m, qint16 savedIndex);
