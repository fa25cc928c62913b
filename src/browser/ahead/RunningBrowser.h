#pragma once

#include <QString>

#include <sys/types.h>

class DevToolsConnection;
class LoadAhead;
class PageLoads;

// A running browser as its window and its hidden instance see it: the connection to it, the
// loads of its pages, the load ahead that they share, and its end. Who launched it, and how, is its
// own affair.
class RunningBrowser
{
public:
    virtual ~RunningBrowser() = default;

    virtual DevToolsConnection& connection() = 0;
    virtual PageLoads& loads() = 0;
    virtual LoadAhead& ahead() = 0;
    // Closes the browser and makes sure that its processes are gone.
    virtual void quit() = 0;
    // The group of its processes; 0 for a browser with no process of its own.
    virtual pid_t processGroup() const = 0;
    // Why the browser no longer answers: how its process ended, else its pipe or its silence.
    virtual QString whyGone() = 0;
};
