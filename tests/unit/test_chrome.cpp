// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QtTest>

#include "controls/Colours.h"
#include "controls/Fonts.h"
#include "mainwindow/AboutWindow.h"
#include "mainwindow/Form2.h"
#include "support/ScreenReader.h"
#include "support/ShellFixture.h"

// The banner captions' answer to the pointer, and the about window.
class TestChrome : public QObject
{
    Q_OBJECT

    // The main window as the program opens it.
    struct Running : ShellFixture
    {
        Form1* form = start();
    };

private Q_SLOTS:
    void initTestCase()
    {
        useProgramFont(*qApp);
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void cleanup() { closeAllWindows(); }

    void hover_data()
    {
        QTest::addColumn<QStringList>("moves");
        QTest::addColumn<QString>("dark");       // the one dark list caption, or empty
        QTest::addColumn<QString>("underlined"); // the one underlined banner link, or empty

        auto row = [](const char* name, QStringList moves, const char* dark, const char* underlined) {
            QTest::newRow(name) << moves << QString::fromLatin1(dark) << QString::fromLatin1(underlined);
        };
        const QString l10 = QStringLiteral("Label10"), l11 = QStringLiteral("Label11"),
                      l13 = QStringLiteral("Label13"), l16 = QStringLiteral("Label16"),
                      l19 = QStringLiteral("Label19"), img = QStringLiteral("Image1"),
                      panel = QStringLiteral("Image2"), back = QStringLiteral("Form1");
        row("at rest", {}, "", "");
        row("over Enlarge File List", {l10}, "Label10", "");
        row("over Enlarge Directory List", {l13}, "Label13", "");
        row("over Return To Normal", {l16}, "Label16", "");
        row("banner then caption then banner", {img, l13, img}, "", "");
        row("one list caption to another", {l10, img, l13}, "Label13", "");
        row("list captions directly", {l10, l16}, "Label16", "");
        row("over View Program Information", {l11}, "", "Label11");
        row("Exit after View", {l11, l19}, "", "Label19");
        row("groups are independent", {l13, l19}, "Label13", "Label19");
        row("links leave list captions alone", {l16, l11, l19}, "Label16", "Label19");
        row("the banner rests both groups", {l16, l11, img}, "", "");
        row("the panel and the window do not", {l10, l19, panel, back}, "Label10", "Label19");
        row("a click keeps the look", {l13, QStringLiteral("click Label13")}, "Label13", "");
    }

    void hover()
    {
        QFETCH(QStringList, moves);
        QFETCH(QString, dark);
        QFETCH(QString, underlined);

        Running run;
        Form1& f = *run.form;
        for (const QString& move : std::as_const(moves)) {
            if (move.startsWith(QStringLiteral("click "))) {
                QTest::mouseClick(f.findChild<Label*>(move.mid(6)), Qt::LeftButton);
                continue;
            }
            QWidget* target =
                move == QStringLiteral("Form1") ? static_cast<QWidget*>(&f) : f.findChild<QWidget*>(move);
            QVERIFY2(target, qPrintable(move));
            // A point of the target that no child covers.
            QPoint at(target->width() - 2, target->height() - 2);
            if (move == QStringLiteral("Form1"))
                at = QPoint(3, 500);
            QTest::mouseMove(target, at);
            QCoreApplication::processEvents();
        }
        for (Label* caption : {f.Label10, f.Label13, f.Label16}) {
            QCOMPARE(caption->textColor(),
                     caption->objectName() == dark ? colours::hoverBlue : colours::linkBlue);
            QVERIFY(caption->isUnderlined());
        }
        for (Label* caption : {f.Label11, f.Label19}) {
            QCOMPARE(caption->isUnderlined(), caption->objectName() == underlined);
            QCOMPARE(caption->textColor(), colours::midGrey);
        }
        QCOMPARE(f.cursor().shape(), Qt::ArrowCursor);
        const QString dir = qEnvironmentVariable("TILECAST_SCREENSHOT_DIR");
        if (!dir.isEmpty() && moves.size() == 1)
            f.grab(f.Image1->geometry()).save(dir + QStringLiteral("/banner-over-%1.png").arg(moves.first()));
    }

    void aboutWindow()
    {
        Running run;
        QTest::mouseClick(run.form->Label11, Qt::LeftButton);
        QPointer<Form2> about = run.shell.about().window();
        QVERIFY(about && about->isVisible());
        QTest::mouseClick(run.form->Label11, Qt::LeftButton);
        QCOMPARE(run.shell.about().window(), about.data());
        int abouts = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            abouts += qobject_cast<Form2*>(w) && w->isVisible() ? 1 : 0;
        QCOMPARE(abouts, 1);

        QCOMPARE(about->windowTitle(), QStringLiteral("Program Information"));
        QCOMPARE(about->size(), QSize(342, 293));
        QVERIFY(about->windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!about->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!about->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(about->Image1->geometry(), QRect(0, -72, 64, 372));
        QCOMPARE(about->Label1->caption(), QStringLiteral("Tilecast"));
        QCOMPARE(about->Label2->caption(), QStringLiteral("Version: 1.2 (1.2.0.9)"));
        QCOMPARE(about->Label3->caption(), QStringLiteral("By Halvane"));
        QCOMPARE(about->Label4->caption(), QStringLiteral("Organization: Quorvik"));
        QVERIFY(about->Label5->isUnderlined());
        QVERIFY(about->Label6->caption().startsWith(QStringLiteral("This application is designed")));
        QVERIFY(about->Label7->caption().endsWith(QStringLiteral("readme.txt file.")));
        QVERIFY(about->findChildren<QPushButton*>().isEmpty());

        // The address is not a link: a click does nothing.
        QTest::mouseClick(about->Label5, Qt::LeftButton);
        QVERIFY(about->isVisible());
        const QString dir = qEnvironmentVariable("TILECAST_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            about->grab().save(dir + QStringLiteral("/form2-offscreen.png"));

        // The main window keeps working meanwhile; the exit closes both.
        QTest::mouseClick(run.form->Label13, Qt::LeftButton);
        QCOMPARE(run.form->Dir1->height(), 126);
        QTest::mouseClick(run.form->Label19, Qt::LeftButton);
        deleteClosedWindows();
        QVERIFY(about.isNull());
    }

    // The captions that act as links work from the keyboard too.
    void linksByKeyboard_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("key");
        QTest::newRow("Space on Enlarge Directory List") << QStringLiteral("Label13") << int(Qt::Key_Space);
        QTest::newRow("Enter on Enlarge File List") << QStringLiteral("Label10") << int(Qt::Key_Return);
        QTest::newRow("Enter on View Program Information")
            << QStringLiteral("Label11") << int(Qt::Key_Return);
        QTest::newRow("Space on Exit Application") << QStringLiteral("Label19") << int(Qt::Key_Space);
    }

    void linksByKeyboard()
    {
        QFETCH(QString, caption);
        QFETCH(int, key);
        Running run;
        QPointer<Form1> form = run.form;
        auto* label = form->findChild<Label*>(caption);
        QVERIFY(label->focusPolicy() & Qt::TabFocus);
        // A screen reader announces the caption the link shows.
        QCOMPARE(screenReaderName(label), label->caption());
        QTest::keyClick(label, Qt::Key(key));
        deleteClosedWindows();
        if (caption == QStringLiteral("Label13"))
            QCOMPARE(form->Dir1->height(), 126);
        else if (caption == QStringLiteral("Label10"))
            QCOMPARE(form->File1->height(), 136);
        else if (caption == QStringLiteral("Label11"))
            QVERIFY(run.shell.about().window() && run.shell.about().window()->isVisible());
        else
            QVERIFY(form.isNull());
    }

    void aboutWindowClosedAndReopened()
    {
        Running run;
        QTest::mouseClick(run.form->Label11, Qt::LeftButton);
        QPointer<Form2> first = run.shell.about().window();
        first->close();
        deleteClosedWindows();
        QVERIFY(first.isNull());
        QTest::mouseClick(run.form->Label11, Qt::LeftButton);
        QVERIFY(run.shell.about().window() && run.shell.about().window()->isVisible());
    }
};

QTEST_MAIN(TestChrome)
#include "test_chrome.moc"
