#pragma once

#include "session/ModelessDialog.h"

class QLineEdit;

// "Add the Current Link": the address of the page on show, editable, and added to the end of
// the current theme file.
class Form2 : public ModelessDialog
{
    Q_OBJECT
public:
    explicit Form2(Module1& m);

    void Form_Load() override;

    static constexpr int ClientWidthTwips = 6690;
    static constexpr int ClientHeightTwips = 1230;

    QLineEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

private:
    void Command1_Click(); // Add It, also Enter in Text1
    void Command2_Click(); // Cancel
};
