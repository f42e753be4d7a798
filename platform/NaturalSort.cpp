// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NaturalSort.h"

#include <algorithm>

namespace {

// Compares two digit runs by value: leading zeros skipped, then length, then digits.
int compareNumbers(QStringView a, QStringView b)
{
    auto significant = [](QStringView s) {
        qsizetype i = 0;
        while (i + 1 < s.size() && s[i] == QLatin1Char('0'))
            ++i;
        return s.mid(i);
    };
    const QStringView x = significant(a);
    const QStringView y = significant(b);
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

qsizetype digitRun(QStringView s, qsizetype from)
{
    qsizetype end = from;
    while (end < s.size() && s[end].isDigit())
        ++end;
    return end - from;
}

int naturalCompare(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype m = digitRun(a, i);
            const qsizetype n = digitRun(b, j);
            if (const int order = compareNumbers(a.mid(i, m), b.mid(j, n)))
                return order;
            i += m;
            j += n;
            continue;
        }
        const char16_t x = a[i].toCaseFolded().unicode();
        const char16_t y = b[j].toCaseFolded().unicode();
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return 0;
}

} // namespace

bool naturalLess(QStringView a, QStringView b)
{
    const int order = naturalCompare(a, b);
    return order != 0 ? order < 0 : a < b;
}

void sortNaturally(QStringList& names)
{
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return naturalLess(a, b); });
}
