#pragma once

class Module1;

// The Grab button: add the page on show to the theme file.
void GrabCommand(Module1& m);
// The Edit button: edit the theme file as text.
void EditCommand(Module1& m);
