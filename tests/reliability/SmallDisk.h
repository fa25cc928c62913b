#pragma once

#include <QString>

// A small tmpfs mounted over a folder for as long as the object lives, with the folder's files
// copied onto it, so that the disk can be filled without touching the machine's own. Needs
// root; `whyNot()` says why there is no disk when there is none.
class SmallDisk
{
public:
    explicit SmallDisk(QString folder);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    const QString& whyNot() const { return m_whyNot; }

    // Takes every free page. Files keep what is left of their last page, so a short append to
    // an existing file may still fit.
    bool fill();
    // Grows the file to the end of its last page, so that its next append needs a new one.
    static bool padToPageEnd(const QString& path);

private:
    QString m_folder;
    bool m_mounted = false;
    QString m_whyNot;
};
