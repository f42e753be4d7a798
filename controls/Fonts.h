// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

class QApplication;

// The program's font: Tahoma 8.25 pt where installed, else Wine's metric-compatible
// Tahoma from Debian's fonts-wine, else a close free face. The layouts were measured
// against Tahoma's widths. Every attribute is set, so that no font a desktop gives a
// kind of widget (a larger one for labels, say) fills in what is left open.
QFont programFont();
// Makes it the application's font.
void useProgramFont(QApplication& app);
