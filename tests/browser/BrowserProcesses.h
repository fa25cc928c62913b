#pragma once

#include <QList>
#include <QString>

#include <sys/types.h>

// The processes that a browser of ours left: those of its process group, and the crash
// handlers, which leave the group but name the profile's folder on their command line.
QList<pid_t> browserProcesses(pid_t processGroup, const QString& profilePath);
