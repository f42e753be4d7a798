// SPDX-License-Identifier: GPL-3.0-or-later
// Shows one of Tilecast's windows, made and styled exactly as the program makes and styles it, so
// that the look test can take its picture under any theme, style or scale the environment sets.
//
//   look-gallery WINDOW      WINDOW: Form1 (main), Form2 (about), Form3 (splash), Form4 (new slide
//                            show), Form5 (update notice)
//
// The main window shows every state a control can be in at once: lists with a selected line,
// enabled and disabled buttons, a greyed caption. Once the window is on the screen and painted it
// prints "ready <X window id>", then one line per thing the test measures, in window pixels:
//   text NAME x y w h COLOUR  a control's text (a list line: NAME#row) and the colour its
//                             palette gives that text
//   list NAME x y w h         a list, whose border must be whole
//   focus NAME x y w h        a control that can take the keyboard focus
//   picture NAME FILE x y w h vx vy vw vh [cx cy cw ch]...
//                             a picture: where it lies, the part the window shows, and the
//                             rectangles other controls cover; FILE is its 1x artwork resource
// and "end". Before all that, "desktop STYLE WINDOW-COLOUR": the style and window colour the
// desktop would have given the program, and "double-click MS", the double-click time it works
// with. Commands on standard input, each answered once the window has
// repainted:
//   focus NAME                moves the keyboard focus to that control: "focused NAME"
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStyle>
#include <QStyleHints>
#include <QTextStream>
#include <QWindow>

#include <cstdio>
#include <unistd.h>

#include "app/Form3.h"
#include "controls/Look.h"
#include "editing/Form4.h"
#include "mainwindow/Form1.h"
#include "mainwindow/Form2.h"
#include "resources/Artwork.h"
#include "update/Form5.h"

namespace {

void say(const QString& line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

QString rectText(const QRect& r)
{
    return QStringLiteral("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QRect inWindow(const QWidget* w, const QRect& rect)
{
    return QRect(w->mapTo(w->window(), rect.topLeft()), rect.size());
}

// The part of a widget its window shows: its rectangle, cut by each parent's.
QRect shownPart(const QWidget* w)
{
    QRect shown = inWindow(w, w->rect());
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        shown &= inWindow(p, p->rect());
    return shown;
}

bool shown(const QWidget* w)
{
    return w->isVisibleTo(w->window()) && !shownPart(w).isEmpty();
}

// Every visible widget drawn above `picture`: its later siblings and theirs, with their children.
QList<QRect> coveringRects(const QWidget* picture)
{
    QList<QRect> covers;
    for (const QWidget* level = picture; level->parentWidget(); level = level->parentWidget()) {
        const QObjectList& siblings = level->parentWidget()->children();
        for (qsizetype i = siblings.indexOf(const_cast<QWidget*>(level)) + 1; i < siblings.size(); ++i) {
            const auto* sibling = qobject_cast<const QWidget*>(siblings.at(i));
            if (sibling && shown(sibling))
                covers << shownPart(sibling);
        }
    }
    return covers;
}

QString pictureFile(const QString& window, const QString& picture)
{
    const QHash<QString, QString> files{
        {QStringLiteral("Form1/Image1"), artwork::bannerPath()},
        {QStringLiteral("Form1/Image2"), artwork::statusPanelPath()},
        {QStringLiteral("Form1/Image5"), artwork::editingPanelPath()},
        {QStringLiteral("Form1/Image3"), artwork::bottomStripPath()},
        {QStringLiteral("Form2/Image1"), artwork::aboutStripPath()},
        {QStringLiteral("Form2/Image2"), artwork::aboutPanelPath()},
        {QStringLiteral("Form3/Image1"), artwork::splashPath()},
        {QStringLiteral("Form4/Image1"), artwork::confirmBannerPath()},
        {QStringLiteral("Form5/Image1"), artwork::updateNoticePath()},
    };
    return files.value(window + u'/' + picture);
}

QString colourOf(const QWidget* w, QPalette::ColorRole role)
{
    return w->palette().color(w->isEnabled() ? QPalette::Active : QPalette::Disabled, role).name();
}

void describe(const QWidget* window)
{
    const QString windowName = window->objectName();
    for (const QWidget* w : window->findChildren<QWidget*>()) {
        if (!shown(w) || w->objectName().isEmpty())
            continue;
        const QString name = w->objectName();
        const QRect part = shownPart(w);
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            if (const auto* picture = qobject_cast<const Picture*>(w)) {
                QString line = QStringLiteral("picture %1 %2 %3 %4")
                                   .arg(name, pictureFile(windowName, name),
                                        rectText(inWindow(picture, picture->rect())), rectText(part));
                for (const QRect& cover : coveringRects(picture))
                    line += u' ' + rectText(cover);
                say(line);
            } else if (!label->text().isEmpty()) {
                say(QStringLiteral("text %1 %2 %3")
                        .arg(name, rectText(part), colourOf(w, w->foregroundRole())));
            }
        } else if (qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w)) {
            say(QStringLiteral("text %1 %2 %3").arg(name, rectText(part), colourOf(w, w->foregroundRole())));
        } else if (const auto* view = qobject_cast<const QAbstractItemView*>(w)) {
            say(QStringLiteral("list %1 %2").arg(name, rectText(part)));
            const QAbstractItemModel* model = view->model();
            for (int row = 0; row < model->rowCount(); ++row) {
                const QModelIndex index = model->index(row, 0);
                const QRect line = view->visualRect(index) & view->viewport()->rect();
                if (line.height() != view->visualRect(index).height())
                    continue; // scrolled out of sight, or only partly in it
                const bool selected = view->selectionModel()->isSelected(index);
                say(QStringLiteral("text %1#%2 %3 %4")
                        .arg(name)
                        .arg(row)
                        .arg(rectText(inWindow(view->viewport(), line)),
                             colourOf(view, selected ? QPalette::HighlightedText : QPalette::Text)));
            }
        }
        if (w->focusPolicy() != Qt::NoFocus && w->isEnabled())
            say(QStringLiteral("focus %1 %2").arg(name, rectText(part)));
    }
}

// The main window with each kind of control in each of its states.
Window* mainWindow()
{
    auto* form = new Form1();
    form->Label7->setCaption(QStringLiteral("alice@example.org"));
    form->Label17->setCaption(form->File1->path());
    for (const char* line : {"aurora.jpg", "fox.bmp", "rings.gif"})
        form->List1->appendLine(QString::fromLatin1(line));
    form->List1->setCurrentRow(1);
    form->File1->setCurrentIndex(form->File1->model()->index(2, 0));
    form->Label23->setCaption(QStringLiteral("3"));
    form->Command7->setEnabled(true);
    form->Command2->setEnabled(true);
    form->Label14->setEnabled(false);
    return form;
}

Window* makeWindow(const QString& name)
{
    if (name == u"Form1")
        return mainWindow();
    if (name == u"Form2")
        return new Form2();
    if (name == u"Form3")
        return new Form3();
    if (name == u"Form4") {
        auto* form = new Form4();
        form->Check1->setChecked(true);
        return form;
    }
    if (name == u"Form5")
        return new Form5();
    return nullptr;
}

// Paints the window now and waits until the X server has the picture.
void flushToScreen(QWidget* window)
{
    window->repaint();
    QCoreApplication::processEvents();
    QGuiApplication::sync();
}

} // namespace

int main(int argc, char* argv[])
{
    prepareProgramLook();
    QApplication app(argc, argv);
    // What the desktop would have given the program, so that the test can tell that each
    // theme and style it sets was really loaded.
    say(QStringLiteral("desktop %1 %2")
            .arg(QApplication::style()->name(), QApplication::palette().color(QPalette::Window).name()));
    useProgramLook(app);
    say(QStringLiteral("double-click %1").arg(QGuiApplication::styleHints()->mouseDoubleClickInterval()));

    const QStringList args = QCoreApplication::arguments();
    Window* window = args.size() == 2 ? makeWindow(args.at(1)) : nullptr;
    if (!window) {
        std::fputs("usage: look-gallery Form1|Form2|Form3|Form4|Form5\n", stderr);
        return 2;
    }
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    // The picture is the window's inside; a window manager's frame would push the main window at
    // twice the size past the bottom of the screen, where the X server keeps nothing of it.
    window->setWindowFlag(Qt::FramelessWindowHint);
    window->move(0, 0);
    window->show();
    window->activateWindow();
    while (!window->windowHandle() || !window->windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    flushToScreen(window);
    say(QStringLiteral("ready 0x%1").arg(window->winId(), 0, 16));
    describe(window);
    say(QStringLiteral("end"));

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QTextStream in(stdin);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        const QString line = in.readLine();
        if (line.isNull()) {
            QCoreApplication::quit();
            return;
        }
        if (line.startsWith(u"focus ")) {
            const QString name = line.mid(6);
            if (auto* target = window->findChild<QWidget*>(name)) {
                target->setFocus(Qt::OtherFocusReason);
                flushToScreen(window);
                say(QStringLiteral("focused ") + name);
            } else {
                say(QStringLiteral("unknown ") + name);
            }
        }
    });
    return QApplication::exec();
}
