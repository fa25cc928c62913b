#pragma once

#include "platform/CommonDialog.h"
#include "platform/Version.h"
#include "session/Toolbar.h"

#include <QWidget>

class ClassicComboBox;
class DesktopLayout;
class Module1;
class QPushButton;
class StepKeys;

// The toolbar across the top of the screen. Its controls carry their designer names as
// object names; its handlers are here, each run through runHandler.
class Form1 : public QWidget, public Toolbar
{
    Q_OBJECT
public:
    explicit Form1(Module1& m, QWidget* parent = nullptr);

    // The start-up, run once before the window is first shown: with `themeFile` (a full path)
    // instead of the default theme file when one is given.
    void Form_Load(const QString& themeFile = QString());
    // Makes MainBrowser and PrefetchBrowser and places the window below the toolbar: at the
    // start-up, and for a browser started again.
    void createBrowserPair();

    ClassicComboBox* Combo1 = nullptr;
    CommonDialog CommonDialog1;

    static constexpr int ClientWidthTwips = 9510;
    static constexpr int ClientHeightTwips = 765;
    static constexpr const char* DesignedCaption = QUILLON_VERSION_TEXT;

    int twipsToPixels(int twips) const;

    QString shownText() const override;
    void setShownText(const QString& text) override;
    CommonDialog& fileDialog() override;

signals:
    // After every page that the user asked for: Left, Right, Corvane, Support, a pick from
    // the list, a step key.
    void pageAsked();

private:
    void layOut();
    void connectHandlers();
    void followTheme();

    void Command1_Click(); // End

    Module1& m;
    DesktopLayout* m_layout = nullptr;
    StepKeys* m_stepKeys = nullptr;
};
