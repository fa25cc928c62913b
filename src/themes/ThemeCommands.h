#pragma once

class Module1;

// The File button: choose another theme file in the file-open dialog.
void FileCommand(Module1& m);
// The New button: the dialog that creates a new theme file.
void NewCommand(Module1& m);
