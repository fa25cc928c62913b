#pragma once

class Module1;

// Makes the file named by ThemeFile the current list. Reports its own failures.
void LoadThemeFile(Module1& m);
