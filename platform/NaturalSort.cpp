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

// A name's natural order as a plain text: each unit that is not a digit
// stands for itself, a digit run for u'0', its length without leading zeros
// and its digits without them. Compared unit by unit (a shorter text first
// when it is the other's start), two such texts order as compareFolded()
// orders their names, as long as both have only ASCII digits: then a run
// meets either a run or a unit outside '0'..'9', where any of its digits
// would compare as u'0' does. Writes at most three units per unit of the
// name to text and gives their number; -1 for a name with other digits.
qsizetype naturalText(const char16_t* folded, qsizetype size, char16_t* text)
{
    char16_t* out = text;
    for (qsizetype i = 0; i < size;) {
        if (!isDigit(folded[i])) {
            *out++ = folded[i++];
            continue;
        }
        qsizetype end = i;
        while (end < size && isDigit(folded[end])) {
            if (folded[end] >= 0x80)
                return -1;
            ++end;
        }
        while (i + 1 < end && folded[i] == u'0')
            ++i;
        if (end - i >= 0xffff)
            return -1;
        *out++ = u'0';
        *out++ = char16_t(end - i);
        out = std::copy(folded + i, folded + end, out);
        i = end;
    }
    return out - text;
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
    // Folding each name once, not at every comparison, and deciding most
    // comparisons by a key of two integers is most of the speed for a folder
    // of many thousand names.
    qsizetype total = 0;
    for (const QString& name : std::as_const(names))
        total += name.size();
    std::vector<char16_t> folded(static_cast<size_t>(total));
    char16_t* fold = folded.data();
    for (const QString& name : std::as_const(names)) {
        for (const QChar c : name)
            *fold++ = foldCase(c.unicode());
    }

    struct Entry
    {
        quint64 key[2]; // from the natural texts, after the start all keyed names share
        bool keyed;
        const char16_t* text; // folded
        qsizetype size;
        qsizetype index;
    };
    std::vector<Entry> entries;
    entries.reserve(size_t(names.size()));
    std::vector<char16_t> texts(static_cast<size_t>(total) * 3);
    std::vector<std::pair<qsizetype, qsizetype>> spans; // each entry's natural text in texts
    spans.reserve(size_t(names.size()));
    const char16_t* next = folded.data();
    qsizetype used = 0;
    qsizetype shared = -1; // units all keyed texts start with
    const char16_t* first = nullptr;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const qsizetype size = names.at(i).size();
        char16_t* text = texts.data() + used;
        const qsizetype length = naturalText(next, size, text);
        spans.emplace_back(used, length);
        entries.push_back({{0, 0}, length >= 0, next, size, i});
        next += size;
        if (length < 0)
            continue;
        used += length;
        if (!first) {
            first = text;
            shared = length;
            continue;
        }
        qsizetype same = 0;
        while (same < shared && same < length && first[same] == text[same])
            ++same;
        shared = same;
    }
    // Eight units after the shared start; a text that ends sooner is padded
    // with zeros, which sorts it before a longer one with the same start.
    for (Entry& e : entries) {
        if (!e.keyed)
            continue;
        const auto [from, length] = spans[size_t(e.index)];
        for (qsizetype k = 0; k < 8; ++k) {
            const quint64 unit = shared + k < length ? texts[size_t(from + shared + k)] : 0;
            e.key[k / 4] = (e.key[k / 4] << 16) | unit;
        }
    }

    std::sort(entries.begin(), entries.end(), [&names](const Entry& a, const Entry& b) {
        if (a.keyed && b.keyed) {
            if (a.key[0] != b.key[0])
                return a.key[0] < b.key[0];
            if (a.key[1] != b.key[1])
                return a.key[1] < b.key[1];
        }
        const int order = compareFolded(a.text, a.size, b.text, b.size);
        return order != 0 ? order < 0 : names.at(a.index) < names.at(b.index);
    });
    QStringList sorted;
    sorted.reserve(names.size());
    for (const Entry& e : entries)
        sorted.push_back(std::move(names[e.index]));
    names = std::move(sorted);
}
