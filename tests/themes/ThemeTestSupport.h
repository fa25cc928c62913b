#pragma once

#include <QString>
#include <QStringList>

#include "support/ImmutableFile.h"

class SessionHarness;

// Log messages written after the first `before` ones.
QStringList logSince(const SessionHarness& h, qsizetype before);
// The browser calls that send a page somewhere.
QStringList navigations(const SessionHarness& h);
// The line that a successful load of `themeFile` writes.
QString opensNormally(const QString& themeFile);
