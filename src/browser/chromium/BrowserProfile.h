#pragma once

#include <QString>

// The browser's profile directory: a lasting one of the program's own, or, when another running
// copy holds that one or it cannot be made, a fresh temporary one that goes when the browser
// ends.
class BrowserProfile
{
public:
    // `preferred` is the lasting directory; empty for the program's usual place. Throws
    // Failure 429 when not even a temporary directory can be made.
    static BrowserProfile choose(const QString& preferred = {});
    static BrowserProfile makeTemporary();
    // <config home>/Quillon2/browser-profile, or empty when there is no config home.
    static QString defaultPath();
    // True when a running browser on this machine holds `path` (its SingletonLock link).
    static bool isHeldByRunningBrowser(const QString& path);
    // Makes the profile at `path` restore no earlier session when the browser's first window
    // opens: the user's "Continue where you left off" (session.restore_on_startup in
    // Default/Preferences) becomes the new tab page, and a restart after an update
    // (was_restarted in Local State) is forgotten. Files that are missing or unreadable are left
    // as they are: the browser then starts with its defaults, which restore nothing.
    static void preventSessionRestore(const QString& path);

    const QString& path() const { return m_path; }
    bool isTemporary() const { return m_temporary; }

private:
    BrowserProfile(QString path, bool temporary) : m_path(std::move(path)), m_temporary(temporary)
    {}

    QString m_path;
    bool m_temporary;
};
