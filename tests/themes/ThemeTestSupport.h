#pragma once

#include <QString>
#include <QStringList>

class Harness;

// Log messages written after the first `before` ones.
QStringList logSince(const Harness& h, qsizetype before);
// The browser calls that send a page somewhere.
QStringList navigations(const Harness& h);
// The line that a successful load of `themeFile` writes.
QString opensNormally(const QString& themeFile);

// Makes a file immutable for as long as the object lives (root ignores permission bits, but
// not this). `made` is false when the file system or the user cannot do it.
class ImmutableFile
{
public:
    explicit ImmutableFile(QString path);
    ~ImmutableFile();
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;

    bool made = false;

private:
    bool setFlag(const char* flag) const;
    QString m_path;
};
