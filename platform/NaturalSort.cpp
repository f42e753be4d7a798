// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NaturalSort.h"

#include <algorithm>
#include <limits>
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

// Letters compare case-folded, one UTF-16 unit at a time; digit runs by value:
// leading zeros skipped, then length, then digits. (Case folding never makes
// or unmakes a digit, so folded names compare as the names do.)
int naturalCompare(const char16_t* a, qsizetype n, const char16_t* b, qsizetype m, qsizetype from)
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
        const char16_t x = foldCase(a[i]);
        const char16_t y = foldCase(b[j]);
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < n || j < m)
        return i < n ? 1 : -1;
    return 0;
}

// As naturalCompare(), starting after the units two names share once folded:
// the comparison goes through such a prefix in step and finds it equal, so it
// may start after it, only not inside a digit run.
int compareNames(QStringView a, QStringView b)
{
    const char16_t* x = a.utf16();
    const char16_t* y = b.utf16();
    const qsizetype shorter = std::min(a.size(), b.size());
    qsizetype same = 0;
    while (same < shorter && (x[same] == y[same] || foldCase(x[same]) == foldCase(y[same])))
        ++same;
    while (same > 0 && isDigit(x[same - 1]))
        --same;
    return naturalCompare(x, a.size(), y, b.size(), same);
}

// A name's natural order as a plain text: each unit that is not a digit
// stands for itself case-folded, a digit run for u'0', its length without
// leading zeros and its digits without them. Compared unit by unit (a shorter
// text first when it is the other's start), two such texts order as
// compareNames() orders their names, as long as both have only ASCII digits:
// then a run meets either a run or a unit outside '0'..'9', where any of its
// digits would compare as u'0' does. Fills text (resized to fit), false for a
// name with other digits.
bool naturalText(QStringView name, std::vector<char16_t>& text)
{
    const char16_t* s = name.utf16();
    const qsizetype size = name.size();
    // At most three units for each of the name's.
    if (text.size() < size_t(size) * 3)
        text.resize(size_t(size) * 3);
    char16_t* out = text.data();
    for (qsizetype i = 0; i < size;) {
        if (!isDigit(s[i])) {
            *out++ = foldCase(s[i++]);
            continue;
        }
        qsizetype end = i;
        while (end < size && isDigit(s[end])) {
            if (s[end] >= 0x80)
                return false;
            ++end;
        }
        while (i + 1 < end && s[i] == u'0')
            ++i;
        if (end - i >= 0xffff)
            return false;
        *out++ = u'0';
        *out++ = char16_t(end - i);
        out = std::copy(s + i, s + end, out);
        i = end;
    }
    text.resize(size_t(out - text.data()));
    return true;
}

// What the sort keeps per name: most comparisons are decided by a key of two
// integers, made once. Fresh memory is most of what a folder of many thousand
// names costs.
struct Entry
{
    quint64 key[2]; // eight units of the natural text, after the start all keyed names share
    quint32 index;
    bool keyed;
};

// The number of units that the natural texts of all keyed names start with:
// keys made after them tell the names apart sooner.
size_t sharedStart(const QStringList& names, std::vector<char16_t>& text)
{
    std::vector<char16_t> first;
    bool anyKeyed = false;
    size_t shared = 0;
    for (const QString& name : names) {
        if (!naturalText(name, text))
            continue;
        if (!anyKeyed) {
            anyKeyed = true;
            first = text;
            shared = first.size();
            continue;
        }
        size_t same = 0;
        while (same < shared && same < text.size() && first[same] == text[same])
            ++same;
        shared = same;
    }
    return shared;
}

std::vector<Entry> keyedEntries(const QStringList& names)
{
    std::vector<char16_t> text;
    const size_t shared = sharedStart(names, text);
    std::vector<Entry> entries(size_t(names.size()));
    for (quint32 i = 0; i < entries.size(); ++i) {
        Entry& e = entries[i];
        e.index = i;
        e.keyed = naturalText(names.at(i), text);
        // A text that ends sooner is padded with zeros, which sorts it before
        // a longer one with the same start.
        for (size_t k = 0; k < 8; ++k) {
            const quint64 unit = e.keyed && shared + k < text.size() ? text[shared + k] : 0;
            e.key[k / 4] = (e.key[k / 4] << 16) | unit;
        }
    }
    return entries;
}

// Moves each name to the place the sorted entries give it, along the cycles
// of the order; an entry that points at its own place is done.
void moveIntoPlace(QStringList& names, std::vector<Entry>& entries)
{
    for (quint32 place = 0; place < entries.size(); ++place) {
        if (entries[place].index == place)
            continue;
        QString held = std::move(names[place]);
        quint32 to = place;
        while (entries[to].index != place) {
            const quint32 from = entries[to].index;
            names[to] = std::move(names[from]);
            entries[to].index = to;
            to = from;
        }
        names[to] = std::move(held);
        entries[to].index = to;
    }
}

} // namespace

bool naturalLess(QStringView a, QStringView b)
{
    const int order = compareNames(a, b);
    return order != 0 ? order < 0 : a < b;
}

void sortNaturally(QStringList& names)
{
    if (names.size() < 2)
        return;
    if (names.size() > std::numeric_limits<quint32>::max()) {
        std::sort(names.begin(), names.end(),
                  [](const QString& a, const QString& b) { return naturalLess(a, b); });
        return;
    }
    std::vector<Entry> entries = keyedEntries(names);
    std::sort(entries.begin(), entries.end(), [&names](const Entry& a, const Entry& b) {
        if (a.keyed && b.keyed) {
            if (a.key[0] != b.key[0])
                return a.key[0] < b.key[0];
            if (a.key[1] != b.key[1])
                return a.key[1] < b.key[1];
        }
        return naturalLess(names.at(a.index), names.at(b.index));
    });
    moveIntoPlace(names, entries);
}
