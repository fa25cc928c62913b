#pragma once

class Module1;

// The two dialogs that work on the current theme file.
enum class CaptureDialog { Form2, Form3 };

// The Grab button: add the page on show to the theme file.
void GrabCommand(Module1& m);
// The Edit button: edit the theme file as text.
void EditCommand(Module1& m);

// Proves that the theme file is still there, then shows the dialog modeless (or brings the
// open one to the front without loading it again). A theme file that has gone falls back to
// the default one; any other failure, its load included, is reported and changes nothing.
void CheckThemeFileAndShow(Module1& m, CaptureDialog dialog);
