#pragma once

#include "capture/CaptureCommands.h"

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

class Form2;
class Form3;
class QWidget;
class SessionHarness;

using Dialog = CaptureDialog;
Q_DECLARE_METATYPE(CaptureDialog)

inline const QByteArray threeLinks = "http://a/\r\nhttp://b/\r\nhttp://c/\r\n";
inline const QStringList threeLinkList{"http://a/", "http://b/", "http://c/"};

// What every test class of Grab and Edit shares: quiet raise() warnings, no dialog left over
// from a case, and the steps that open, fill and read the dialogs.
class CaptureTest : public QObject
{
    Q_OBJECT

protected:
    // A started program whose default theme file holds `content`.
    static void startWith(SessionHarness& h, const QByteArray& content);
    static Form2* grab(SessionHarness& h);
    static Form3* edit(SessionHarness& h);
    static QWidget* open(SessionHarness& h, Dialog dialog);
    static QWidget* openDialog(SessionHarness& h, Dialog dialog);
    static void setText(QWidget* dialog, const QString& text);
    static QString text(QWidget* dialog);
    static void clickIn(QWidget* dialog, const char* name);
    static QStringList comboItems(SessionHarness& h);
    static QStringList logTail(SessionHarness& h, qsizetype count);
    static QString opensNormally(const QString& path);
    static bool anyDialogWindow(const char* name);
    static void addDialogColumn();

private slots:
    void initTestCase();
    void cleanup();
};
