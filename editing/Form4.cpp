// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/Form4.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include "controls/Colours.h"
#include "resources/Artwork.h"

Form4::Form4() : Window(QStringLiteral("Form4"), 6360, 2025, Border::ToolFixed)
{
    setWindowTitle(QStringLiteral("New Slide Show"));

    Image1 = new Picture(this, QStringLiteral("Image1"), artwork::confirmBanner(), {0, 0, 6360, 1365});
    LabelStyle question;
    question.color = colours::midGrey;
    Label1 = new Label(
        this, QStringLiteral("Label1"),
        QStringLiteral("Are you sure you wish to start a new slide show? By doing this you will lose "
                       "all previous information and all fields will be cleared."),
        {240, 720, 5655, 495}, question);
    Line1 = new Line(this, QStringLiteral("Line1"), 0, 1440, 6360, 1440, colours::ruleGrey);
    Check1 = new CheckBox(this, QStringLiteral("Check1"), QStringLiteral("Don't show this message again."),
                          {120, 1560, 3135, 255});
    Command1 =
        new Button(this, QStringLiteral("Command1"), QStringLiteral("Cancel"), {3480, 1560, 1335, 375});
    Command2 = new Button(this, QStringLiteral("Command2"), QStringLiteral("Yes"), {4920, 1560, 1335, 375});

    setTabOrder(Command2, Command1);
    setTabOrder(Command1, Check1);
    Command2->setFocus();
    centreOnScreen();
}

void Form4::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        Command1->click();
        return;
    }
    Window::keyPressEvent(event);
}

void Form4::closeEvent(QCloseEvent* event)
{
    // Closed by the window manager or a system key: that is a "Cancel". Its
    // own close request is then part of this one.
    if (!m_answered) {
        m_answered = true;
        Command1->click();
    }
    Window::closeEvent(event);
}

void closeAnswered(Form4& dialog)
{
    dialog.m_answered = true;
    dialog.close();
}
