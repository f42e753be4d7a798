#pragma once

#include <QStringList>

// Sorts names as a person expects: case-insensitive, digit runs by value
// ("img2" before "img10").
void sortNaturally(QStringList& names);
