#include "capture/CaptureCommands.h"

#include "app/Module1.h"

void GrabCommand(Module1&) {}

void EditCommand(Module1&) {}
