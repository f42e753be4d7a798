// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NaturalSort.h"

#include <algorithm>
#include <vector>

namespace {

bool isDigit(char16_t c)
{
    return c < 0x80 ? char16_t(c - u'0') < 10 : QChar(c).isDigit();
}

char16_t foldCase(char16_t c)
{
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
    return QChar(c).toCaseFolded().unicode();
}

struct AsIs
{
    char16_t operator()(char16_t c) const { return c; }
};

struct FoldCase
{
    char16_t operator()(char16_t c) const { return foldCase(c); }
};

// Letters compare case-folded, one UTF-16 unit at a time; digit runs by value:
// leading zeros skipped, then length, then digits. Fold turns a unit into what
// is compared: the sort folds each name once beforehand and passes AsIs, which
// gives the same answers because case folding never makes or unmakes a digit.
template <typename Fold>
int naturalCompare(const char16_t* a, qsizetype n, const char16_t* b, qsizetype m, Fold fold,
                   qsizetype from = 0)
{
    qsizetype i = from;
    qsizetype j = from;
    while (i < n && j < m) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            qsizetype endA = i + 1;
            while (endA < n && isDigit(a[endA]))
                ++endA;
            qsizetype endB = j + 1;
            while (endB < m && isDigit(b[endB]))
                ++endB;
            while (i + 1 < endA && a[i] == u'0')
                ++i;
            while (j + 1 < endB && b[j] == u'0')
                ++j;
            if (endA - i != endB - j)
                return endA - i < endB - j ? -1 : 1;
            for (; i < endA; ++i, ++j) {
                if (a[i] != b[j])
                    return a[i] < b[j] ? -1 : 1;
            }
            continue;
        }
        const char16_t x = fold(a[i]);
        const char16_t y = fold(b[j]);
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < n || j < m)
        return i < n ? 1 : -1;
    return 0;
}

// Compares two folded names, skipping the units they share first: the compare
// goes through that common prefix in step and leaves it equal, so it may start
// after it, only not inside a digit run.
int compareFolded(const char16_t* a, qsizetype n, const char16_t* b, qsizetype m)
{
    const qsizetype shorter = std::min(n, m);
    qsizetype same = 0;
    while (same < shorter && a[same] == b[same])
        ++same;
    while (same > 0 && isDigit(a[same - 1]))
        --same;
    return naturalCompare(a, n, b, m, AsIs(), same);
}

} // namespace

bool naturalLess(QStringView a, QStringView b)
{
    const int order = naturalCompare(a.utf16(), a.size(), b.utf16(), b.size(), FoldCase());
    return order != 0 ? order < 0 : a < b;
}

void sortNaturally(QStringList& names)
{
    if (names.size() < 2)
        return;
    // Folding each name once, not at every comparison, is most of the speed
    // for a folder of many thousand names.
    qsizetype total = 0;
    for (const QString& name : std::as_const(names))
        total += name.size();
    std::vector<char16_t> folded;
    folded.reserve(size_t(total));
    for (const QString& name : std::as_const(names)) {
        for (const QChar c : name)
            folded.push_back(foldCase(c.unicode()));
    }
    struct Entry
    {
        const char16_t* text;
        qsizetype size;
        qsizetype index;
    };
    std::vector<Entry> entries;
    entries.reserve(size_t(names.size()));
    const char16_t* next = folded.data();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const qsizetype size = names.at(i).size();
        entries.push_back({next, size, i});
        next += size;
    }
    std::sort(entries.begin(), entries.end(), [&names](const Entry& a, const Entry& b) {
        const int order = compareFolded(a.text, a.size, b.text, b.size);
        return order != 0 ? order < 0 : names.at(a.index) < names.at(b.index);
    });
    QStringList sorted;
    sorted.reserve(names.size());
    for (const Entry& e : entries)
        sorted.push_back(std::move(names[e.index]));
    names = std::move(sorted);
}
