#pragma once

#include <QString>

// The protocol's names and the browser's arguments are ASCII literals.
inline QString str(const char* text)
{
    return QString::fromLatin1(text);
}
