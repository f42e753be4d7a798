// SPDX-License-Identifier: GPL-3.0-or-later
// A small program for the test-support self-test: windows whose X properties and
// accessibility tree are known, so the readers can be checked against them.
//   fixture-window            the "Fixture" window: 300x200, fixed size, a label and a button
//   fixture-window --kinds    also the other widget kinds, a hidden label, a frameless window,
//                             a dialog, a main window, a minimised window and one that was
//                             shown and hidden again
//   fixture-window --child    also starts a child (sleep) in its process group, prints "child PID"
//   fixture-window --exit N   prints a line on each channel and exits with code N at once
// Prints "ready" once its windows are shown.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <cstdio>

#include "support/FixtureWindow.h"

namespace {

void say(const QString& line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

template <typename W>
W* place(W* widget, int x, int y, int w, int h)
{
    widget->setGeometry(x, y, w, h);
    return widget;
}

// The other widget kinds in the "Fixture" window, and the other windows, of --kinds.
struct OtherKinds
{
    QWidget frameless{nullptr, Qt::FramelessWindowHint};
    QDialog dialog;
    QMainWindow mainWindow;
    QWidget minimised;
    QWidget gone; // shown, and hidden again once the event loop runs

    void show(QWidget& window)
    {
        place(new QLineEdit(QStringLiteral("typed text"), &window), 120, 40, 170, 24)
            ->setAccessibleName(QStringLiteral("Entry"));
        auto* list = place(new QListWidget(&window), 10, 80, 130, 80);
        list->setAccessibleName(QStringLiteral("Items"));
        list->addItems({QStringLiteral("First item"), QStringLiteral("Second item")});
        place(new QLabel(QStringLiteral("Hidden label"), &window), 150, 80, 140, 20)->hide();
        place(new QPushButton(QStringLiteral("Disabled"), &window), 150, 110, 100, 30)->setEnabled(false);

        frameless.setWindowTitle(QStringLiteral("Frameless fixture"));
        frameless.setGeometry(700, 100, 120, 80);
        place(new QLabel(QStringLiteral("No frame"), &frameless), 5, 5, 100, 20);
        frameless.show();

        dialog.setWindowTitle(QStringLiteral("Dialog fixture"));
        dialog.resize(160, 90);
        dialog.show();

        mainWindow.setWindowTitle(QStringLiteral("Main window fixture"));
        mainWindow.setCentralWidget(new QLabel(QStringLiteral("Central"), &mainWindow));
        mainWindow.setGeometry(400, 500, 200, 100);
        mainWindow.show();

        minimised.setWindowTitle(QStringLiteral("Minimised fixture"));
        minimised.resize(100, 60);
        minimised.showMinimized();

        gone.setWindowTitle(QStringLiteral("Gone fixture"));
        gone.resize(100, 60);
        gone.show();
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();

    if (const qsizetype at = args.indexOf(QStringLiteral("--exit")); at >= 0) {
        say(QStringLiteral("out"));
        std::fputs("bye\n", stderr);
        return args.value(at + 1).toInt();
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("Fixture"));
    window.setFixedSize(testsupport::FixtureWindowSize);
    place(new QLabel(QStringLiteral("Hello fixture"), &window), 10, 10, 200, 20);
    place(new QPushButton(QStringLiteral("Press"), &window), 10, 40, 100, 30);
    OtherKinds kinds;
    if (args.contains(QStringLiteral("--kinds")))
        kinds.show(window);
    window.show();

    if (args.contains(QStringLiteral("--child"))) {
        auto* child = new QProcess(&app);
        child->start(QStringLiteral("sleep"), {QStringLiteral("300")});
        if (child->waitForStarted(5000))
            say(QStringLiteral("child %1").arg(child->processId()));
    }

    // "ready" once the event loop runs: the windows have been mapped by then.
    QTimer::singleShot(0, &app, [&kinds] {
        kinds.gone.hide();
        say(QStringLiteral("ready"));
    });
    return app.exec();
}
