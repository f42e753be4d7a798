// SPDX-License-Identifier: GPL-3.0-or-later
// The text floor for start-up and memory: bench_bare_window plus one line of
// text. Every program that draws text pays for fontconfig, FreeType, the font
// database and a glyph cache; this floor pays for them too, so what Tilecast
// needs beyond it is its own.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.setFixedSize(324, 139);
    QLabel label(QStringLiteral("Loading..."), &window);
    label.move(16, 112);
    window.show();
    return QApplication::exec();
}
