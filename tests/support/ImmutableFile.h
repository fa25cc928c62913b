#pragma once

#include <QString>

// Makes a file or folder immutable for as long as the object lives: root ignores permission
// bits, but not this flag. `made()` is false when the file system refuses it.
class ImmutableFile
{
public:
    explicit ImmutableFile(QString path);
    ~ImmutableFile();
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;

    bool made() const { return m_made; }

private:
    bool change(bool immutable) const;

    QString m_path;
    bool m_made = false;
};
