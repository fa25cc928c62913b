#pragma once

class Module1;
class QString;

// The one report of a failure while adding to or rewriting a theme file: a box with the
// number, then the log line that names the file. Nothing else changes.
void reportAddFailure(Module1& m, int number, const QString& path);

// A theme file at a web address is only read: a command that would change it says so in one
// box and changes nothing. Whether it refused.
bool refuseWebThemeFile(Module1& m, const QString& path);
