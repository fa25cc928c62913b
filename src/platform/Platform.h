#pragma once

#include <QString>

class Clock;
class Dialogs;

// What the platform gives the program: its dialogs, its clock and its install directory.
struct Platform
{
    Dialogs& dialogs;
    Clock& clock;
    QString installDir; // with a trailing separator
};
