// SPDX-License-Identifier: GPL-3.0-or-later
// Gathers the "@figure" lines the benchmarks printed into one table and one
// JSON file. With --baseline (an earlier JSON file) the table also shows the
// figures of that run, so a change between versions is seen at a glance.
//
//   bench_report [--json OUT] [--baseline OLD] [--meta KEY=VALUE]... [--failed NAME]... FILE...
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSysInfo>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace {

QString number(double v)
{
    const double a = std::abs(v);
    return QString::number(v, 'f', a >= 100 ? 0 : a >= 10 ? 1 : a >= 1 ? 2 : 3);
}

QString aimText(const QJsonObject& aim)
{
    if (aim.isEmpty())
        return QString();
    return aim[QStringLiteral("op")].toString() + QLatin1Char(' ') +
           number(aim[QStringLiteral("limit")].toDouble());
}

bool met(double value, const QJsonObject& aim)
{
    const double limit = aim[QStringLiteral("limit")].toDouble();
    return aim[QStringLiteral("op")].toString() == QStringLiteral("<") ? value < limit : value <= limit;
}

QString firstLine(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readLine().trimmed()) : QString();
}

QString cpuModel()
{
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("model name"))
            return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
    }
    return QString();
}

void print(const QString& line)
{
    std::printf("%s\n", line.toLocal8Bit().constData());
}

struct Arguments
{
    QString jsonPath, baselinePath;
    QJsonObject meta;
    QJsonArray failed;
    QStringList inputs;
};

std::optional<Arguments> parseArguments(const QStringList& args)
{
    Arguments parsed;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QStringLiteral("--json") && hasValue) {
            parsed.jsonPath = args[++i];
        } else if (arg == QStringLiteral("--baseline") && hasValue) {
            parsed.baselinePath = args[++i];
        } else if (arg == QStringLiteral("--meta") && hasValue) {
            const QString kv = args[++i];
            parsed.meta.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
        } else if (arg == QStringLiteral("--failed") && hasValue) {
            parsed.failed.append(args[++i]);
        } else if (arg.startsWith(QLatin1Char('-'))) {
            return std::nullopt;
        } else {
            parsed.inputs << arg;
        }
    }
    return parsed;
}

// The "@figure" lines of these files, each marked whether it met its aim; nullopt when a
// file cannot be read.
std::optional<QJsonArray> readFigures(const QStringList& inputs)
{
    QJsonArray figures;
    for (const QString& input : inputs) {
        QFile f(input);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "bench_report: cannot read %s\n", qPrintable(input));
            return std::nullopt;
        }
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (!line.startsWith("@figure "))
                continue;
            QJsonObject figure = QJsonDocument::fromJson(line.mid(8)).object();
            const QJsonObject aim = figure.value(QStringLiteral("aim")).toObject();
            if (!aim.isEmpty())
                figure.insert(QStringLiteral("met"),
                              met(figure.value(QStringLiteral("value")).toDouble(), aim));
            figures.append(figure);
        }
    }
    return figures;
}

// An earlier results file's figures by key, and its name under "@name"; empty without one.
QJsonObject readBaseline(const QString& path)
{
    QJsonObject baseline;
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        return baseline;
    const QJsonObject old = QJsonDocument::fromJson(f.readAll()).object();
    for (const QJsonValue& figure : old[QStringLiteral("figures")].toArray())
        baseline.insert(figure[QStringLiteral("key")].toString(), figure);
    const QJsonObject oldMeta = old[QStringLiteral("meta")].toObject();
    baseline.insert(QStringLiteral("@name"),
                    oldMeta[QStringLiteral("version")].toString() + QLatin1Char(' ') +
                        oldMeta[QStringLiteral("commit")].toString() + QLatin1Char(' ') +
                        oldMeta[QStringLiteral("date")].toString());
    return baseline;
}

// What the machine was and did, beside what bench/run passed in.
void addMachine(QJsonObject& meta)
{
    meta.insert(QStringLiteral("date"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    meta.insert(QStringLiteral("cpus"), QThread::idealThreadCount());
    meta.insert(QStringLiteral("cpu_model"), cpuModel());
    meta.insert(QStringLiteral("kernel"), QSysInfo::kernelVersion());
    meta.insert(QStringLiteral("load_at_end"),
                firstLine(QStringLiteral("/proc/loadavg")).section(QLatin1Char(' '), 0, 2));
}

void printHeading(const QJsonObject& meta, const QJsonObject& baseline)
{
    print(QStringLiteral("Tilecast %1 (%2), %3 cores (%4), load %5 at start, %6 at end")
              .arg(meta.value(QStringLiteral("version")).toString(),
                   meta.value(QStringLiteral("commit")).toString())
              .arg(meta.value(QStringLiteral("cpus")).toInt())
              .arg(meta.value(QStringLiteral("cpu_model")).toString(),
                   meta.value(QStringLiteral("load_at_start")).toString(),
                   meta.value(QStringLiteral("load_at_end")).toString()));
    if (!baseline.isEmpty())
        print(QStringLiteral("before: %1").arg(baseline.value(QStringLiteral("@name")).toString()));
    print(QString());
}

// Prints rows of cells, each column as wide as its widest cell, a rule under the first;
// without a baseline the "before" column (the sixth) is left out.
void printColumns(const QList<QStringList>& rows, bool compare)
{
    const bool rightAligned[] = {false, true, false, false, false, true, false};
    const int columns = compare ? 7 : 6;
    QList<int> width(7, 0);
    for (const QStringList& row : rows) {
        for (int c = 0; c < 7; ++c)
            width[c] = std::max(width[c], int(row[c].size()));
    }
    for (int r = 0; r < rows.size(); ++r) {
        QStringList cells;
        for (int c = 0; c < columns; ++c) {
            const int column = compare || c < 5 ? c : c + 1;
            cells << QStringLiteral("%1").arg(rows[r][column],
                                              rightAligned[column] ? width[column] : -width[column]);
        }
        QString line = cells.join(QLatin1Char(' '));
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        print(line);
        if (r == 0)
            print(QString(line.size(), QLatin1Char('-')));
    }
}

// The table of figures; returns how many missed their aim.
int printTable(const QJsonArray& figures, const QJsonObject& baseline)
{
    QList<QStringList> rows{{QStringLiteral("figure"), QStringLiteral("value"), QString(),
                             QStringLiteral("aim"), QString(), QStringLiteral("before"),
                             QStringLiteral("notes")}};
    int missed = 0;
    for (const QJsonValue& v : figures) {
        const QJsonObject f = v.toObject();
        const QJsonObject aim = f[QStringLiteral("aim")].toObject();
        QString verdict;
        if (!aim.isEmpty()) {
            verdict = f[QStringLiteral("met")].toBool() ? QStringLiteral("ok") : QStringLiteral("MISSED");
            missed += f[QStringLiteral("met")].toBool() ? 0 : 1;
        }
        const QJsonValue old = baseline.value(f[QStringLiteral("key")].toString());
        rows.append(
            {f[QStringLiteral("label")].toString(), number(f[QStringLiteral("value")].toDouble()),
             f[QStringLiteral("unit")].toString(), aimText(aim), verdict,
             old.isUndefined() ? QStringLiteral("-") : number(old[QStringLiteral("value")].toDouble()),
             f[QStringLiteral("note")].toString()});
    }
    printColumns(rows, !baseline.isEmpty());
    return missed;
}

bool writeJson(const QString& path, const QJsonObject& all)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(QJsonDocument(all).toJson()) < 0 || !out.commit()) {
        std::fprintf(stderr, "bench_report: cannot write %s\n", qPrintable(path));
        return false;
    }
    print(QStringLiteral("Written to %1").arg(path));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    std::optional<Arguments> args = parseArguments(QCoreApplication::arguments().mid(1));
    if (!args) {
        std::fprintf(stderr, "usage: bench_report [--json OUT] [--baseline OLD] [--meta KEY=VALUE]... "
                             "[--failed NAME]... FILE...\n");
        return 2;
    }
    const std::optional<QJsonArray> figures = readFigures(args->inputs);
    if (!figures)
        return 1;
    const QJsonObject baseline = readBaseline(args->baselinePath);
    addMachine(args->meta);

    printHeading(args->meta, baseline);
    const int missed = printTable(*figures, baseline);
    print(QString());
    for (const QJsonValue& name : args->failed)
        print(QStringLiteral("FAILED: %1 (its figures are missing)").arg(name.toString()));
    if (missed > 0)
        print(QStringLiteral("%1 figure(s) missed their aim.").arg(missed));
    print(QStringLiteral("Medians of repeated runs on a shared machine; the notes give their spread."));

    if (!args->jsonPath.isEmpty() && !writeJson(args->jsonPath, {{QStringLiteral("meta"), args->meta},
                                                                 {QStringLiteral("figures"), *figures},
                                                                 {QStringLiteral("failed"), args->failed}}))
        return 1;
    return figures->isEmpty() ? 1 : 0;
}
