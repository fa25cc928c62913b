#pragma once

#include <QString>

// The one folder that holds the default theme file, the starter page and the activity log.
class InstallDir
{
public:
    // <XDG data home>/Quillon2/, always with a trailing slash.
    static QString locate();

    // Stands where an installer stands elsewhere: when the folder does not exist at all it is
    // made and given default.qld and newquillon.htm. An existing folder is never touched, and
    // a folder that cannot be made is left to the start-up to meet.
    static void installIfMissing(const QString& dir);
};
