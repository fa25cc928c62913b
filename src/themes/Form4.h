#pragma once

#include "session/ModelessDialog.h"

class QLabel;
class QLineEdit;

// "Create New Theme File": the modeless dialog of the New button.
class Form4 : public ModelessDialog
{
    Q_OBJECT
public:
    // Loads and shows the dialog, or brings the open one to the front.
    static void showFor(Module1& m);

    static constexpr int ClientWidthTwips = 6690;
    static constexpr int ClientHeightTwips = 1560;

    QLabel* Label2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

    explicit Form4(Module1& m);
    void Form_Load() override;

private:
    QLabel* addLabel(const char* name, const QString& caption, QRect twips);
    void layOut();
    void connectHandlers();

    void Command1_Click(); // Create It
    void Command2_Click(); // Cancel
    void completeExtension();
};
