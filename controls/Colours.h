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
} // namespace colours
