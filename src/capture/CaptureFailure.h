#pragma once

class Module1;
class QString;

// The one report of a failure while adding to or rewriting a theme file: a box with the
// number, then the log line that names the file. Nothing else changes.
void reportAddFailure(Module1& m, int number, const QString& path);
