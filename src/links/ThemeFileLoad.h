#pragma once

#include <QByteArray>
#include <QStringList>

#include <optional>

class Module1;

// One run of LoadThemeFile: reads the file named by ThemeFile, tidies it on disk, takes its
// links over and shows them. Whatever happens, the list that the user sees stays usable.
class ThemeFileLoad
{
public:
    // `savedIndex`: a reload in place that restores this position; none for a normal load.
    // `anyOpenFailureIsMissing`: a file that cannot be opened for whatever reason (a folder,
    // access refused, a missing folder) gives way to the default theme file as a missing one.
    ThemeFileLoad(Module1& m, std::optional<qint16> savedIndex,
                  bool anyOpenFailureIsMissing = false);

    void run();

private:
    void load();
    std::optional<QByteArray> readThemeFile();
    bool fallBackToDefault(int number);
    void writeTidied(const QByteArray& tidied, const QByteArray& content);
    QStringList readLinks(const QByteArray& tidied);
    void takeOver(const QStringList& links);
    void fillCombo();
    void addLinksToCombo();
    void reportUnknown(int number);
    void handle(int number);
    void keepPreviousList();

    Module1& m;
    std::optional<qint16> m_savedIndex;
    bool m_anyOpenFailureIsMissing;
};
