// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for start-up and memory: the least a Qt Widgets program of ours
// can do to put a window like the splash on the screen. One fixed-size,
// frameless 324x139 window and nothing else; anything Tilecast needs beyond
// this shows up as the difference.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.setFixedSize(324, 139);
    window.show();
    return QApplication::exec();
}
