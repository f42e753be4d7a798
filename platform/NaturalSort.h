// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <QStringView>

// Orders names as a person expects: letters without regard to case, runs of
// digits by their value ("img9" before "img10"). Names equal in that sense
// fall back to plain order, so the result never depends on the input's order.
bool naturalLess(QStringView a, QStringView b);
void sortNaturally(QStringList& names);
