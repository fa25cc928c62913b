#pragma once

#include <QString>
#include <QStringList>

#include "support/ImmutableFile.h"

class Harness;

// Log messages written after the first `before` ones.
QStringList logSince(const Harness& h, qsizetype before);
// The browser calls that send a page somewhere.
QStringList navigations(const Harness& h);
// The line that a successful load of `themeFile` writes.
QString opensNormally(const QString& themeFile);
