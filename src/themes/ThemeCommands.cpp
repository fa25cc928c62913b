#include "themes/ThemeCommands.h"

#include "app/Module1.h"

void FileCommand(Module1&) {}

void NewCommand(Module1&) {}
