// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Controls.h"
#include "controls/Window.h"

// The "New Slide Show" question. Created anew each time it is asked, so its
// box always starts unticked. Its title-bar close and Escape act as "Cancel":
// the main window, disabled while it asks, must never be left so.
class Form4 : public Window
{
    Q_OBJECT
public:
    Form4();

    Picture* Image1;
    Label* Label1;
    Line* Line1;
    CheckBox* Check1;
    Button* Command1; // "Cancel"
    Button* Command2; // "Yes"

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_answered = false;
    friend void closeAnswered(Form4& dialog);
};

// Closes the dialog after one of its buttons has done its work.
void closeAnswered(Form4& dialog);
