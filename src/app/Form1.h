#pragma once

#include "platform/CommonDialog.h"

#include <QWidget>

class ClassicComboBox;
class Module1;
class QPushButton;
class StepKeys;

// The toolbar across the top of the screen. Its controls carry their designer names as
// object names; its handlers are here, each run through runHandler.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(Module1& m, QWidget* parent = nullptr);

    // The start-up, run once before the window is first shown.
    void Form_Load();

    ClassicComboBox* Combo1 = nullptr;
    CommonDialog CommonDialog1;

    static constexpr int ClientWidthTwips = 9510;
    static constexpr int ClientHeightTwips = 765;
    static constexpr const char* DesignedCaption = "Quillon Version 2.8";

    int twipsToPixels(int twips) const;
    StepKeys* stepKeys() const { return m_stepKeys; }

protected:
    void moveEvent(QMoveEvent* event) override;

private:
    QPushButton* addButton(const char* name, const QString& caption, QRect twips);
    void layOut();
    void connectHandlers();
    void moveToTopOfScreen();
    void createBrowserPair();

    void Command1_Click(); // End

    Module1& m;
    bool m_fittedToFrame = false;
    StepKeys* m_stepKeys = nullptr;
};
