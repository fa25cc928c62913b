#pragma once

#include "KillRounds.h"

// The program killed while Grab's Add It or Edit's Process writes a theme file of 400 links.
// The file may be found as it was, as the command wrote it, or as the reload after the
// command tidied it; anything else is a loss.
class CaptureKills
{
public:
    enum class Command { AddIt, Process };

    // `folder` holds the install directory and the theme file; it must exist and be empty.
    static KillRounds::Tally run(Command command, const QString& folder, int kills, quint32 seed);
    static QString name(Command command);
};
