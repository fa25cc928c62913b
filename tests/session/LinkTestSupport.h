#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "support/ImmutableFile.h"

class SessionHarness;

// "http://site.example/1" ... one per line, each ending with CR LF.
QByteArray numberedLinks(int count);
QString numberedLink(int number);

// Started program (browsers exist), then `bytes` loaded as <install dir>/name; the calls and
// boxes of the start-up are forgotten.
void startWithTheme(SessionHarness& h, const QByteArray& bytes, const QString& name = "list.qld");
// Loads `bytes` as the current theme file, as a normal load.
void loadTheme(SessionHarness& h, const QByteArray& bytes, const QString& name = "list.qld");

// The list and the caption of a toolbar without a window.
QStringList comboEntries(const SessionHarness& h);
QString comboText(const SessionHarness& h);
QString caption(const SessionHarness& h);

// How many descriptors of this process are open on `path` (read from /proc/self/fd).
int openDescriptorsOn(const QString& path);
// The names in a folder, files and folders alike, sorted.
QStringList folderEntries(const QString& dir);
