// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include "platform/NaturalSort.h"

class TestNaturalSort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void order_data()
    {
        QTest::addColumn<QStringList>("sorted");
        auto row = [](const char* name, std::initializer_list<const char*> names) {
            QStringList list;
            for (const char* n : names)
                list << QString::fromUtf8(n);
            QTest::newRow(name) << list;
        };
        row("case does not count", {"apple", "Banana", "cherry"});
        row("numbers by value", {"img2", "img9", "img10", "img100"});
        row("leading zeros", {"a0", "a001", "a2", "a010"});
        row("numbers inside names", {"x1y2", "x1y10", "x2y1"});
        row("prefix first", {"a", "a.gif", "ab"});
        row("equal but for case: stable plain order", {"ABC", "Abc", "abc"});
        row("huge numbers", {"n99999999999999999998", "n99999999999999999999", "n100000000000000000000"});
        row("non-ASCII case", {"éa", "Éb", "éc"});
        row("digit runs beside other characters", {"a-", "a0", "a00b", "a1", "a:", "aa"});
        row("digits of another script", {"n2", "n:", "n\u0663"});
        row("names alike far past their start",
            {"p1 aaaaaaaaaa1", "p1 aaaaaaaaaa2", "p1 aaaaaaaaaa10", "p2"});
    }

    void order()
    {
        QFETCH(QStringList, sorted);
        QStringList shuffled = sorted;
        std::reverse(shuffled.begin(), shuffled.end());
        sortNaturally(shuffled);
        QCOMPARE(shuffled, sorted);
        for (qsizetype i = 0; i + 1 < sorted.size(); ++i) {
            QVERIFY(naturalLess(sorted[i], sorted[i + 1]));
            QVERIFY(!naturalLess(sorted[i + 1], sorted[i]));
        }
        QVERIFY(!naturalLess(sorted.first(), sorted.first()));
    }
};

QTEST_GUILESS_MAIN(TestNaturalSort)
#include "test_natural_sort.moc"
