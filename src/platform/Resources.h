#pragma once

// Makes the files compiled into the program (default theme file, starter page, icon)
// readable under ":/". Safe to call more than once.
void initResources();
