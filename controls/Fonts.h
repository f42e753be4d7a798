// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QApplication;

// Sets the program's font: Tahoma 8.25 pt where installed, else Wine's
// metric-compatible Tahoma from Debian's fonts-wine, else a close free face.
// The layouts were measured against Tahoma's widths.
void useProgramFont(QApplication& app);
