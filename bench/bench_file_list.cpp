// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a folder of 100,000 files: the time from the folder change to a
// filled, filtered file list, against a plain directory scan of the same folder.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <vector>

#include "controls/Fonts.h"
#include "editing/FolderBrowsing.h"
#include "Figure.h"
#include "mainwindow/Form1.h"

namespace {

constexpr int FileCount = 100000;
constexpr int Rounds = 7;

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    useProgramFont(app);

    QTemporaryDir dir;
    const char* kinds[] = {".gif", ".JPG", ".bmp", ".bmp.old", ".png", ".txt", ".jpeg", ".Gif"};
    for (int i = 0; i < FileCount; ++i) {
        QFile f(dir.path() + QStringLiteral("/photo %1%2").arg(i).arg(QString::fromLatin1(kinds[i % 8])));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
    }

    Form1 form;
    form.show();
    std::vector<double> scans, lists;
    int listed = 0;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        size_t entries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path().toStdString()))
            entries += entry.is_regular_file() ? 1 : 0;
        scans.push_back(clock.nsecsElapsed() / 1e6);
        if (entries != FileCount)
            return 1;

        form.Dir1->setPath(round % 2 ? dir.path() : QDir::tempPath());
        clock.restart();
        followFolderChange(form);
        QCoreApplication::processEvents(); // the list is drawn, not just filled
        if (round % 2) {
            lists.push_back(clock.nsecsElapsed() / 1e6);
            listed = form.File1->count();
        }
    }
    const double scan = bench::median(scans);
    const double list = bench::median(lists);
    bench::report(
        QStringLiteral("files.list_ms"), QStringLiteral("folder of 100,000 files: file list"), list,
        QStringLiteral("ms"), {},
        QStringLiteral("%1 of %2 files listed; median of %3").arg(listed).arg(FileCount).arg(lists.size()));
    bench::report(QStringLiteral("files.scan_ms"), QStringLiteral("  plain directory scan (the floor)"), scan,
                  QStringLiteral("ms"), {},
                  QStringLiteral("std::filesystem, median of %1").arg(scans.size()));
    bench::report(QStringLiteral("files.ratio"), QStringLiteral("  file list ratio, medians"), list / scan,
                  QStringLiteral("x"), {QStringLiteral("<="), 2}, QString());
    return listed > 0 ? 0 : 1;
}
