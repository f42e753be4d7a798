// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One measured figure, printed as a line "@figure {json}" on standard output.
// bench/run gathers these lines from every benchmark; bench_report turns them
// into the table and the JSON file, so the benchmarks themselves stay free to
// print progress and detail on standard error.

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

struct Aim
{
    QString op; // "<", "<=" or empty for a figure that is only shown
    double limit = 0;
};

struct Figure
{
    QString key;   // stable across versions: what results are compared by
    QString label; // what the table shows
    double value = 0;
    QString unit;
    Aim aim;
    QString note; // one short line for the table: peers, spread, run counts
    QJsonObject detail = {};
};

inline void report(const Figure& f)
{
    QJsonObject o{{QStringLiteral("key"), f.key},
                  {QStringLiteral("label"), f.label},
                  {QStringLiteral("value"), f.value},
                  {QStringLiteral("unit"), f.unit},
                  {QStringLiteral("note"), f.note}};
    if (!f.aim.op.isEmpty())
        o.insert(QStringLiteral("aim"),
                 QJsonObject{{QStringLiteral("op"), f.aim.op}, {QStringLiteral("limit"), f.aim.limit}});
    if (!f.detail.isEmpty())
        o.insert(QStringLiteral("detail"), f.detail);
    std::printf("@figure %s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

inline void report(const QString& key, const QString& label, double value, const QString& unit,
                   const Aim& aim, const QString& note, const QJsonObject& detail = {})
{
    report(Figure{key, label, value, unit, aim, note, detail});
}

// Linear interpolation between closest ranks; p = 0.5 is the median.
inline double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const double position = std::clamp(p, 0.0, 1.0) * double(v.size() - 1);
    const auto below = static_cast<size_t>(position);
    const size_t above = std::min(below + 1, v.size() - 1);
    return v[below] + (position - double(below)) * (v[above] - v[below]);
}

inline double median(const std::vector<double>& v)
{
    return percentile(v, 0.5);
}

} // namespace bench
