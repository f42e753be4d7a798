// SPDX-License-Identifier: GPL-3.0-or-later
// The slide ring against the real stand-in messenger on the session bus:
// how closely applies follow the period (beside the floor: a bare precise
// timer in the same run), what one applying tick costs, and whether memory
// grows over many ticks (a messenger object is made at each).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "contract/MessengerContract.h"
#include "Figure.h"
#include "mainwindow/Form1.h"
#include "messenger/ContractClient.h"
#include "messenger/MessengerLink.h"
#include "slideshow/Activation.h"
#include "slideshow/ConnectSlideShow.h"
#include "slideshow/SlideRing.h"

namespace {

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

long rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

constexpr int PeriodMs = 1000;

// How far each gap between two moments (ns) is off the period, in ms, from gap `first` on.
std::vector<double> offPeriod(const std::vector<qint64>& at, size_t first)
{
    std::vector<double> off;
    for (size_t i = first; i < at.size(); ++i)
        off.push_back(std::abs(double(at[i] - at[i - 1]) / 1e6 - PeriodMs));
    return off;
}

// 1. The real ring at one second, and beside it the floor: a bare precise timer started
// again at each timeout, as each slide timer starts the next. It runs half a period out of
// step with the ring, so that neither waits for the other.
void measureRing(Form1& form, int ringTicks)
{
    form.Text1->setText(QString::number(PeriodMs));
    std::vector<qint64> fired, floorFired;
    QElapsedTimer clock;
    clock.start();
    for (int k = 1; k <= Form1::SlotCount; ++k) {
        QObject::connect(form.slideTimer(k), &WindowTimer::fired, &form, [&] {
            fired.push_back(clock.nsecsElapsed());
            if (int(fired.size()) > ringTicks)
                QCoreApplication::quit();
        });
    }
    QTimer floor;
    floor.setTimerType(Qt::PreciseTimer);
    floor.setSingleShot(true);
    QObject::connect(&floor, &QTimer::timeout, &form, [&] {
        floorFired.push_back(clock.nsecsElapsed());
        floor.start(PeriodMs);
    });
    activateSlideShow(form);
    floor.start(PeriodMs / 2 + 100); // Timer1 first fires after 100 ms
    QApplication::exec();
    floor.stop();
    deactivateSlideShow(form);

    const std::vector<double> deviation = offPeriod(fired, 2); // the first gap is Timer1's 100 ms
    const std::vector<double> floorDeviation = offPeriod(floorFired, 1);
    const double floorMedian = bench::median(floorDeviation);
    const double floorP99 = bench::percentile(floorDeviation, 0.99);
    bench::report(QStringLiteral("ring.deviation_median_ms"),
                  QStringLiteral("slide ring at 1 s: off the period, median"), bench::median(deviation),
                  QStringLiteral("ms"), {QStringLiteral("<="), 0.6},
                  QStringLiteral("%1 intervals; floor %2 ms in the same run")
                      .arg(deviation.size())
                      .arg(floorMedian, 0, 'f', 3));
    bench::report(QStringLiteral("ring.deviation_p99_ms"),
                  QStringLiteral("slide ring at 1 s: off the period, p99"),
                  bench::percentile(deviation, 0.99), QStringLiteral("ms"), {QStringLiteral("<="), 2},
                  QStringLiteral("max %1 ms; floor %2 ms in the same run")
                      .arg(bench::percentile(deviation, 1), 0, 'f', 3)
                      .arg(floorP99, 0, 'f', 3));
    bench::report(QStringLiteral("ring.floor_median_ms"),
                  QStringLiteral("floor: bare precise 1 s timer, off the period, median"), floorMedian,
                  QStringLiteral("ms"), {},
                  QStringLiteral("%1 intervals beside the ring").arg(floorDeviation.size()));
    bench::report(QStringLiteral("ring.floor_p99_ms"),
                  QStringLiteral("floor: bare precise 1 s timer, off the period, p99"), floorP99,
                  QStringLiteral("ms"), {},
                  QStringLiteral("max %1 ms").arg(bench::percentile(floorDeviation, 1), 0, 'f', 3));
}

// 2. Applying ticks driven directly: cost and memory.
void measureDirectTicks(Form1& form, MessengerLink& link, int directTicks)
{
    std::vector<double> wall, cpu;
    const long before = rssKiB();
    for (int i = 0; i < directTicks; ++i) {
        const int position = i % Form1::SlotCount + 1;
        const double c0 = cpuMs();
        QElapsedTimer tick;
        tick.start();
        runSlideTick(form, position, link);
        wall.push_back(double(tick.nsecsElapsed()) / 1e6);
        cpu.push_back(cpuMs() - c0);
        if (i == 999)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    const long after = rssKiB();
    bench::report(QStringLiteral("ring.tick_ms"), QStringLiteral("applying tick, median"),
                  bench::median(wall), QStringLiteral("ms"), {QStringLiteral("<"), 1},
                  QStringLiteral("p99 %1 ms, CPU median %2 ms; %3 ticks on the stand-in")
                      .arg(bench::percentile(wall, 0.99), 0, 'f', 3)
                      .arg(bench::median(cpu), 0, 'f', 3)
                      .arg(directTicks));
    bench::report(
        QStringLiteral("memory.tick_growth_kib"), QStringLiteral("RSS growth over %1 ticks").arg(directTicks),
        double(after - before), QStringLiteral("KiB"), {QStringLiteral("<"), 1024},
        QStringLiteral("VmRSS %1 KiB before, %2 KiB after %3 ticks").arg(before).arg(after).arg(directTicks));
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int ringTicks = argc > 1 ? std::atoi(argv[1]) : 61;
    const int directTicks = argc > 2 ? std::atoi(argv[2]) : 10000;

    MessengerLink link(&ContractClient::create);
    if (!link.readSigninName()) {
        std::fprintf(stderr, "no signed-in messenger on the session bus\n");
        return 1;
    }
    const QString samples = QStringLiteral(TILECAST_SAMPLES_DIR);
    const QStringList pictures = QDir(samples).entryList({QStringLiteral("*.gif"), QStringLiteral("*.jpg")});

    Form1 form;
    connectSlideShowHandlers(form, link);
    for (int k = 1; k <= Form1::SlotCount; ++k)
        form.slot(k)->setText(samples + QLatin1Char('/') + pictures[(k - 1) % pictures.size()]);

    measureRing(form, ringTicks);
    measureDirectTicks(form, link, directTicks);
    return form.Label2->isBold() ? 1 : 0; // the error line would mean a failed apply
}
