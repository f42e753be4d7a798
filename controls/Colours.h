// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

// The program's palette.
namespace colours {
inline const QColor white(255, 255, 255);
inline const QColor darkGrey(64, 64, 64);    // panel labels, the slide-show list
inline const QColor midGrey(128, 128, 128);  // banner captions, notes, the splash line
inline const QColor linkBlue(128, 168, 234); // list captions at rest
inline const QColor hoverBlue(14, 99, 192);  // list captions under the pointer
inline const QColor ruleGrey(224, 224, 224); // separator lines
inline const QColor alertRed(255, 0, 0);     // the splash's exit notice

// What the controls are drawn with, whatever the desktop's theme says.
inline const QColor black(0, 0, 0);            // text of the lists, buttons and the check box
inline const QColor buttonFace(240, 240, 240); // buttons, scroll bars, disabled text fields
inline const QColor disabledText(96, 96, 96);  // greyed captions: still 5:1 on the button face
inline const QColor frameGrey(138, 138, 138);  // the border of a list: 3:1 on white, as a control needs
inline const QColor selection(14, 99, 192);    // a selected line, under white text; the focus mark
} // namespace colours
