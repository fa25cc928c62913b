#pragma once

#include <QString>

class Module1;

// The File button: choose another theme file in the file-open dialog.
void FileCommand(Module1& m);
// A theme file named from outside the toolbar opens as one chosen with File does: loaded
// afresh when it opens; else reported as a bad file name, and the current theme file stays.
void OpenThemeFile(Module1& m, const QString& file);
// The New button: the dialog that creates a new theme file.
void NewCommand(Module1& m);
