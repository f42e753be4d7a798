// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include "controls/Fonts.h"
#include "editing/Form4.h"
#include "support/EditingFixture.h"
#include "support/SlideShowState.h"
#include "support/Windows.h"

// Building the slide show: filling slots from the file list, browsing
// folders, the list layouts, the interval buttons and "New Slide Show".
class TestEditing : public QObject
{
    Q_OBJECT

    // The editing fixture; a folder already shown is left as it is, so its
    // file list keeps its state between clicks.
    struct Fixture : EditingFixture
    {
        bool openFolder(const QString& path) const
        {
            const QString clean = QDir::cleanPath(path);
            return (form->Dir1->path() == clean || EditingFixture::openFolder(clean)) &&
                   form->File1->path() == clean;
        }

        QStringList fileNames() const { return form->File1->names(); }
    };

    static Form4* openDialog()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<Form4*>(w); dialog && dialog->isVisible())
                return dialog;
        }
        return nullptr;
    }

    // Answers the "New Slide Show" box: tick, untick, cancel, yes, close or escape, in turn.
    static void answer(Form4& dialog, const QString& answers)
    {
        for (const QString& step : answers.split(QLatin1Char(' '))) {
            if (step == QStringLiteral("tick") || step == QStringLiteral("untick"))
                QTest::mouseClick(dialog.Check1, Qt::LeftButton);
            else if (step == QStringLiteral("cancel"))
                QTest::mouseClick(dialog.Command1, Qt::LeftButton);
            else if (step == QStringLiteral("yes"))
                QTest::mouseClick(dialog.Command2, Qt::LeftButton);
            else if (step == QStringLiteral("close"))
                dialog.close();
            else if (step == QStringLiteral("escape"))
                QTest::keyClick(&dialog, Qt::Key_Escape);
        }
    }

private Q_SLOTS:
    void initTestCase() { useProgramFont(*qApp); }

    void cleanup() { closeAllWindows(); }

    // --- filling slots ---------------------------------------------------

    void fillSlots_data()
    {
        QTest::addColumn<QStringList>("clicks"); // "folder/name"
        QTest::addColumn<int>("filled");
        QTest::addColumn<bool>("fileListEnabled");

        QStringList twenty;
        for (int i = 0; i < 20; ++i)
            twenty << QStringLiteral("one/%1.gif").arg(i % 3);
        QTest::newRow("one file") << QStringList{QStringLiteral("one/0.gif")} << 1 << true;
        QTest::newRow("two files") << QStringList{QStringLiteral("one/0.gif"), QStringLiteral("one/1.gif")}
                                   << 2 << true;
        QTest::newRow("twenty files") << twenty << 20 << true;
        QTest::newRow("twenty-one files")
            << (twenty + QStringList{QStringLiteral("one/2.gif")}) << 20 << false;
        QTest::newRow("the same file twice")
            << QStringList{QStringLiteral("one/0.gif"), QStringLiteral("one/0.gif")} << 2 << true;
        QTest::newRow("one name in two folders")
            << QStringList{QStringLiteral("one/0.gif"), QStringLiteral("two/0.gif")} << 2 << true;
        QTest::newRow("awkward names")
            << QStringList{QStringLiteral("two/-x 'q' \"d\" é.gif"), QStringLiteral("two/line\nbreak.jpg")}
            << 2 << true;
    }

    void fillSlots()
    {
        QFETCH(QStringList, clicks);
        QFETCH(int, filled);
        QFETCH(bool, fileListEnabled);

        Fixture fx;
        QVERIFY(!fx.makeFiles(QStringLiteral("one"),
                              {QStringLiteral("0.gif"), QStringLiteral("1.gif"), QStringLiteral("2.gif")})
                     .isEmpty());
        QVERIFY(!fx.makeFiles(QStringLiteral("two"),
                              {QStringLiteral("0.gif"), QStringLiteral("-x 'q' \"d\" é.gif"),
                               QStringLiteral("line\nbreak.jpg")})
                     .isEmpty());
        QStringList expectedSlots;
        QStringList expectedLines;
        for (const QString& click : std::as_const(clicks)) {
            const QString folder = fx.dir.path() + QLatin1Char('/') + click.section(QLatin1Char('/'), 0, 0);
            const QString name = click.section(QLatin1Char('/'), 1);
            QVERIFY(fx.openFolder(folder));
            QVERIFY(fx.doubleClickFile(name));
            if (expectedSlots.size() < 20) {
                expectedSlots << folder + QLatin1Char('/') + name;
                expectedLines << name;
            }
        }
        while (expectedSlots.size() < 20)
            expectedSlots << QString();

        QCOMPARE(fx.slotTexts(), expectedSlots);
        QCOMPARE(fx.listLines(), expectedLines);
        QCOMPARE(fx.form->Label23->caption(), QString::number(filled));
        QCOMPARE(ownEnabled(fx.form->File1), fileListEnabled);
        QVERIFY(ownEnabled(fx.form->Command2));
        QVERIFY(ownEnabled(fx.form->Command7));
    }

    // Only the first slot switches the buttons on; later files leave them be.
    void laterFilesLeaveButtonsAlone()
    {
        Fixture fx;
        QVERIFY(fx.openFolder(fx.makeFiles(QStringLiteral("p"), {QStringLiteral("a.gif")})));
        QVERIFY(fx.doubleClickFile(QStringLiteral("a.gif")));
        fx.form->Command2->setEnabled(false);
        fx.form->Command7->setEnabled(false);
        QVERIFY(fx.doubleClickFile(QStringLiteral("a.gif")));
        QCOMPARE(fx.form->Label23->caption(), QStringLiteral("2"));
        QVERIFY(!ownEnabled(fx.form->Command2));
        QVERIFY(!ownEnabled(fx.form->Command7));
    }

    // The folder path is used unchanged, so a file in "/" is stored as
    // "//name". (A path set on the file list shows at its next re-read; the
    // listed file stands in for one in "/".)
    void rootFolderDoublesTheSlash()
    {
        Fixture fx;
        QVERIFY(fx.openFolder(fx.makeFiles(QStringLiteral("p"), {QStringLiteral("x.gif")})));
        fx.form->File1->setPath(QStringLiteral("/"));
        QVERIFY(fx.doubleClickFile(QStringLiteral("x.gif")));
        QCOMPARE(fx.form->slot(1)->text(), QStringLiteral("//x.gif"));
        QCOMPARE(fx.listLines(), QStringList{QStringLiteral("x.gif")});
    }

    // --- folders and the file list -----------------------------------------

    void folderChange()
    {
        Fixture fx;
        const QString root =
            fx.makeFiles(QStringLiteral("pics"),
                         {QStringLiteral("IMG_0001.JPG"), QStringLiteral("a.gif"), QStringLiteral("b.Gif"),
                          QStringLiteral("c.bmp"), QStringLiteral("d.bmp.old"), QStringLiteral("e.bmpz"),
                          QStringLiteral("img10.jpg"), QStringLiteral("img9.jpg"), QStringLiteral("f.png"),
                          QStringLiteral("g.jpeg"), QStringLiteral("h.txt"), QStringLiteral("gif"),
                          QStringLiteral(".dot.gif")});
        QVERIFY(!root.isEmpty());
        for (const char* sub : {"sub10", "sub2", "Sub A", ".hidden", "folder.gif"})
            QDir(root).mkdir(QString::fromLatin1(sub));
        QFile::link(root + QStringLiteral("/a.gif"), root + QStringLiteral("/link.gif"));
        QFile::link(root + QStringLiteral("/missing"), root + QStringLiteral("/broken.gif"));
        QVERIFY(::mkfifo(QFile::encodeName(root + QStringLiteral("/pipe.gif")).constData(), 0600) == 0);
        QFile::link(QStringLiteral("."), root + QStringLiteral("/loop"));

        QVERIFY(fx.openFolder(root));
        QCOMPARE(fx.fileNames(),
                 (QStringList{QStringLiteral("a.gif"), QStringLiteral("b.Gif"), QStringLiteral("c.bmp"),
                              QStringLiteral("d.bmp.old"), QStringLiteral("e.bmpz"),
                              QStringLiteral("img9.jpg"), QStringLiteral("img10.jpg"),
                              QStringLiteral("IMG_0001.JPG"), QStringLiteral("link.gif")}));
        QCOMPARE(fx.form->Label17->caption(), root);
        QCOMPARE(fx.form->Dir1->path(), root);

        // The folder list: the chain down to the folder, then its subfolders.
        QStringList entries;
        for (int i = 0; i < fx.form->Dir1->count(); ++i)
            entries << fx.form->Dir1->item(i)->text().trimmed();
        const QStringList chain = root.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        QCOMPARE(entries.first(), QStringLiteral("/"));
        QCOMPARE(entries.mid(1, chain.size()), chain);
        QCOMPARE(entries.mid(chain.size() + 1),
                 (QStringList{QStringLiteral("folder.gif"), QStringLiteral("loop"), QStringLiteral("Sub A"),
                              QStringLiteral("sub2"), QStringLiteral("sub10")}));
        QCOMPARE(fx.form->Dir1->currentItem()->text().trimmed(), chain.last());

        // A symlink loop only leads one folder deeper each time.
        QVERIFY(fx.openFolder(root + QStringLiteral("/loop")));
        QCOMPARE(fx.form->File1->count(), 9);
    }

    void folderGoneOrUnreadable()
    {
        Fixture fx;
        const QString root = fx.makeFiles(QStringLiteral("top"), {QStringLiteral("a.gif")});
        const QString gone = fx.makeFiles(QStringLiteral("top/gone"), {QStringLiteral("b.gif")});
        QVERIFY(fx.openFolder(gone));
        QCOMPARE(fx.fileNames(), QStringList{QStringLiteral("b.gif")});
        QVERIFY(QDir(gone).removeRecursively());
        fx.form->File1->refresh();
        fx.form->Dir1->refresh();
        QCOMPARE(fx.form->File1->count(), 0);

        // The way back up is still there.
        QVERIFY(fx.openFolder(root));
        QCOMPARE(fx.fileNames(), QStringList{QStringLiteral("a.gif")});

        const QString locked = fx.makeFiles(QStringLiteral("top/locked"), {QStringLiteral("c.gif")});
        QFile::setPermissions(locked, {});
        QVERIFY(fx.openFolder(locked));
        if (::geteuid() != 0)
            QCOMPARE(fx.form->File1->count(), 0);
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void disabledFileListFollowsTheFolder()
    {
        Fixture fx;
        const QString a = fx.makeFiles(QStringLiteral("a"), {QStringLiteral("1.gif")});
        const QString b =
            fx.makeFiles(QStringLiteral("a/b"), {QStringLiteral("2.jpg"), QStringLiteral("3.jpg")});
        QVERIFY(fx.openFolder(a));
        fx.form->File1->setEnabled(false);
        QVERIFY(fx.openFolder(b));
        QCOMPARE(fx.fileNames(), (QStringList{QStringLiteral("2.jpg"), QStringLiteral("3.jpg")}));
        QVERIFY(!ownEnabled(fx.form->File1));
    }

    void layouts_data()
    {
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QRect>("folders");
        QTest::addColumn<QRect>("files");
        const QRect normalFolders = twips::Rect{240, 720, 3615, 990}.toPixels();
        const QRect normalFiles = twips::Rect{240, 1800, 3615, 1260}.toPixels();
        const QRect bigFiles = twips::Rect{240, 1080, 3615, 2040}.toPixels();
        const QRect smallFolders = twips::Rect{240, 720, 3615, 315}.toPixels();
        const QRect bigFolders = twips::Rect{240, 720, 3615, 1890}.toPixels();
        const QRect smallFiles = twips::Rect{240, 2670, 3615, 285}.toPixels();
        QTest::newRow("at start") << QStringList{} << normalFolders << normalFiles;
        QTest::newRow("Enlarge File List")
            << QStringList{QStringLiteral("Label10")} << smallFolders << bigFiles;
        QTest::newRow("Enlarge Directory List")
            << QStringList{QStringLiteral("Label13")} << bigFolders << smallFiles;
        QTest::newRow("Return To Normal") << QStringList{QStringLiteral("Label13"), QStringLiteral("Label16")}
                                          << normalFolders << normalFiles;
        QTest::newRow("same caption twice")
            << QStringList{QStringLiteral("Label10"), QStringLiteral("Label10")} << smallFolders << bigFiles;
        QTest::newRow("file then folder")
            << QStringList{QStringLiteral("Label10"), QStringLiteral("Label13")} << bigFolders << smallFiles;
        QTest::newRow("while the panel is disabled")
            << QStringList{QStringLiteral("disable"), QStringLiteral("Label10")} << smallFolders << bigFiles;
    }

    void layouts()
    {
        QFETCH(QStringList, captions);
        QFETCH(QRect, folders);
        QFETCH(QRect, files);
        Fixture fx;
        for (const QString& name : std::as_const(captions)) {
            if (name == QStringLiteral("disable")) {
                fx.form->Frame2->setEnabled(false);
                continue;
            }
            auto* caption = fx.form->findChild<Label*>(name);
            QTest::mouseClick(caption, Qt::LeftButton);
        }
        QCOMPARE(fx.form->Dir1->geometry(), folders);
        QCOMPARE(fx.form->File1->geometry(), files);
        for (Label* caption : {fx.form->Label10, fx.form->Label13, fx.form->Label16})
            QVERIFY(caption->isVisible() && caption->isEnabled());
        const QString dir = qEnvironmentVariable("TILECAST_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            fx.form->grab().save(
                dir + QStringLiteral("/layout-%1.png").arg(QString::fromLatin1(QTest::currentDataTag())));
    }

    // --- the interval ---------------------------------------------------------

    void interval_data()
    {
        QTest::addColumn<QString>("steps"); // > >> < << t22 t23, or =N to set N seconds
        QTest::addColumn<QString>("ms");
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<bool>("downOne");
        QTest::addColumn<bool>("downTen");

        QTest::newRow("at start") << ""
                                  << "1000"
                                  << "1" << true << false;
        QTest::newRow("< at one second") << "<"
                                         << "1000"
                                         << "1" << false << false;
        QTest::newRow("> then < back to one") << "> <"
                                              << "1000"
                                              << "1" << true << false;
        QTest::newRow("> counts up") << "> > >"
                                     << "4000"
                                     << "4" << true << false;
        QTest::newRow(">> at one second") << ">>"
                                          << "11000"
                                          << "11" << true << true;
        QTest::newRow(">> then <<") << ">> <<"
                                    << "1000"
                                    << "1" << true << true;
        QTest::newRow("<< below ten greys itself") << ">> << <<"
                                                   << "1000"
                                                   << "1" << true << false;
        QTest::newRow("> ten to eleven waits for the guard") << "=10 >"
                                                             << "11000"
                                                             << "11" << true << false;
        QTest::newRow("... which enables <<") << "=10 > t23"
                                              << "11000"
                                              << "11" << true << true;
        QTest::newRow("<< twenty to ten stays on") << ">> =20 <<"
                                                   << "10000"
                                                   << "10" << true << true;
        QTest::newRow("... until the guard") << ">> =20 << t22"
                                             << "10000"
                                             << "10" << true << false;
        QTest::newRow("... or a second <<") << ">> =20 << <<"
                                            << "10000"
                                            << "10" << true << false;
        QTest::newRow("< eleven to ten") << ">> <"
                                         << "10000"
                                         << "10" << true << false;
        QTest::newRow("< twelve to eleven") << ">> > <"
                                            << "11000"
                                            << "11" << true << true;
        QTest::newRow("> from eleven enables <<") << "=11 >"
                                                  << "12000"
                                                  << "12" << true << true;
        QTest::newRow("guards elsewhere do nothing") << "=12 t22 t23 =9 t22 t23"
                                                     << "9000"
                                                     << "9" << true << false;
        QTest::newRow("never below one second") << "< << < << >> << << < < <"
                                                << "1000"
                                                << "1" << false << false;
        QTest::newRow(">> without limit below the bound") << ">> >> >>"
                                                          << "31000"
                                                          << "31" << true << true;
        QTest::newRow("> up to the longest period") << "=2147482 >"
                                                    << "2147483000"
                                                    << "2147483" << true << true;
        QTest::newRow("> beyond it changes nothing") << "=2147483 >"
                                                     << "2147483000"
                                                     << "2147483" << true << false;
        QTest::newRow(">> up to the longest period") << "=2147473 >>"
                                                     << "2147483000"
                                                     << "2147483" << true << true;
        QTest::newRow(">> beyond it changes nothing") << "=2147474 >>"
                                                      << "2147474000"
                                                      << "2147474" << true << false;
    }

    void interval()
    {
        QFETCH(QString, steps);
        QFETCH(QString, ms);
        QFETCH(QString, seconds);
        QFETCH(bool, downOne);
        QFETCH(bool, downTen);

        Fixture fx;
        Form1& f = *fx.form;
        // The guards run on their own clock; here they tick only when told.
        f.Timer22->setEnabled(false);
        f.Timer23->setEnabled(false);
        const QHash<QString, QPushButton*> buttons = {{QStringLiteral(">"), f.Command3},
                                                      {QStringLiteral(">>"), f.Command5},
                                                      {QStringLiteral("<"), f.Command4},
                                                      {QStringLiteral("<<"), f.Command6}};
        // A click needs an enabled button, so the test enables the one it clicks
        // and the rules decide after. "<" switched on from grey only to be
        // clicked, and left on by the rules (above one second they leave it
        // be), says nothing about them: downOne counts only while "<" is as
        // the rules last set it.
        bool downOneByTheRules = true;
        for (const QString& step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (step.startsWith(QLatin1Char('='))) {
                f.Text10->setText(step.mid(1));
                f.Text1->setText(step.mid(1) + QStringLiteral("000"));
            } else if (step == QStringLiteral("t22")) {
                Q_EMIT f.Timer22->fired();
            } else if (step == QStringLiteral("t23")) {
                Q_EMIT f.Timer23->fired();
            } else {
                QPushButton* button = buttons.value(step);
                const bool wasEnabled = ownEnabled(button);
                const QString before = f.Text1->text();
                button->setEnabled(true);
                button->click();
                if (button == f.Command4)
                    downOneByTheRules = wasEnabled || !ownEnabled(f.Command4);
                else if (f.Text1->text() != before && (button == f.Command3 || button == f.Command5))
                    downOneByTheRules = true; // a step up switches "<" on
            }
        }
        QCOMPARE(f.Text1->text(), ms);
        QCOMPARE(f.Text10->text(), seconds);
        if (downOneByTheRules)
            QCOMPARE(ownEnabled(f.Command4), downOne);
        QCOMPARE(ownEnabled(f.Command6), downTen);
    }

    // The guard timers run on their own from the window's creation.
    void guardsTickByThemselves()
    {
        Fixture fx;
        Form1& f = *fx.form;
        f.Text1->setText(QStringLiteral("11000"));
        f.Text10->setText(QStringLiteral("11"));
        QTRY_VERIFY_WITH_TIMEOUT(ownEnabled(f.Command6), 2000);
        f.Text1->setText(QStringLiteral("10000"));
        f.Text10->setText(QStringLiteral("10"));
        QTRY_VERIFY_WITH_TIMEOUT(!ownEnabled(f.Command6), 2000);
    }

    // --- new slide show ---------------------------------------------------------

    void dialogLooksRight()
    {
        Fixture fx;
        fx.form->Command7->setEnabled(true);
        fx.form->Command7->click();
        Form4* dialog = openDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("New Slide Show"));
        QCOMPARE(dialog->size(), QSize(424, 135));
        QVERIFY(!dialog->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!dialog->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!dialog->Check1->isChecked());
        QCOMPARE(dialog->Check1->text(), QStringLiteral("Don't show this message again."));
        QCOMPARE(dialog->Command1->text(), QStringLiteral("Cancel"));
        QCOMPARE(dialog->Command2->text(), QStringLiteral("Yes"));
        QCOMPARE(dialog->Command2->geometry(), (twips::Rect{4920, 1560, 1335, 375}.toPixels()));
        QCOMPARE(dialog->Command1->geometry(), (twips::Rect{3480, 1560, 1335, 375}.toPixels()));
        QCOMPARE(dialog->Check1->geometry(), (twips::Rect{120, 1560, 3135, 255}.toPixels()));
        QVERIFY(dialog->Label1->caption().startsWith(
            QStringLiteral("Are you sure you wish to start a new slide show?")));
        QApplication::setActiveWindow(dialog);
        QTRY_COMPARE(QApplication::focusWidget(), dialog->Command2);
        QTest::keyClick(dialog->Command2, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog->Command1);
        QTest::keyClick(dialog->Command1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog->Check1);
        const QString dir = qEnvironmentVariable("TILECAST_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            dialog->grab().save(dir + QStringLiteral("/form4-offscreen.png"));
    }

    void newSlideShow_data()
    {
        QTest::addColumn<QString>(
            "answers"); // per click on "New Slide Show": tick, untick, cancel, yes, close, escape
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<bool>("newSlideShowEnabled");
        QTest::addColumn<QString>("flag");

        QTest::newRow("cancel") << "cancel" << false << true << "";
        QTest::newRow("yes") << "yes" << true << false << "";
        QTest::newRow("close box is cancel") << "close" << false << true << "";
        QTest::newRow("escape is cancel") << "escape" << false << true << "";
        QTest::newRow("tick then cancel") << "tick cancel" << false << true << "test";
        QTest::newRow("tick, cancel, then clear without asking")
            << "tick cancel | none" << true << true << "test";
        QTest::newRow("tick, untick, yes, then asked again")
            << "tick untick yes | cancel" << false << true << "";
        QTest::newRow("tick and yes") << "tick yes" << true << false << "test";
    }

    void newSlideShow()
    {
        QFETCH(QString, answers);
        QFETCH(bool, cleared);
        QFETCH(bool, newSlideShowEnabled);
        QFETCH(QString, flag);

        Fixture fx;
        Form1& f = *fx.form;
        QVERIFY(fx.openFolder(
            fx.makeFiles(QStringLiteral("p"), {QStringLiteral("a.gif"), QStringLiteral("b.gif")})));
        auto fill = [&] {
            while (f.List1->count() < 20)
                QVERIFY(fx.doubleClickFile(QStringLiteral("a.gif")));
            QVERIFY(fx.doubleClickFile(QStringLiteral("b.gif"))); // the 21st greys the file list
            QVERIFY(!ownEnabled(f.File1));
            f.Label9->setCaption(QStringLiteral("5 Seconds"));
        };
        fill();
        f.Text1->setText(QStringLiteral("5000"));
        f.Text10->setText(QStringLiteral("5"));
        f.Text8->setText(QStringLiteral("/p/a.gif"));

        const QStringList rounds = answers.split(QStringLiteral(" | "));
        for (int r = 0; r < rounds.size(); ++r) {
            if (r > 0)
                fill();
            f.Command7->setEnabled(true);
            QTest::mouseClick(f.Command7, Qt::LeftButton);
            Form4* dialog = openDialog();
            if (rounds[r] == QStringLiteral("none")) {
                QVERIFY(!dialog);
                continue;
            }
            QVERIFY(dialog);
            QVERIFY(!f.isEnabled());
            QVERIFY(!ownEnabled(f.Command7));
            QPointer<Form4> alive(dialog);
            answer(*dialog, rounds[r]);
            deleteClosedWindows();
            QVERIFY(alive.isNull());
            QVERIFY(f.isEnabled());
        }

        QCOMPARE(f.Text25->text(), flag);
        QCOMPARE(ownEnabled(f.Command7), newSlideShowEnabled);
        if (cleared) {
            for (int k = 1; k <= Form1::SlotCount; ++k)
                QVERIFY(f.slot(k)->text().isEmpty());
            QCOMPARE(f.List1->count(), 0);
            QCOMPARE(f.Label23->caption(), QStringLiteral("0"));
            QCOMPARE(f.Label9->caption(), QStringLiteral("0"));
            QVERIFY(ownEnabled(f.File1));
            QVERIFY(!ownEnabled(f.Command2));
        } else {
            QCOMPARE(f.List1->count(), 20);
            QCOMPARE(f.Label23->caption(), QStringLiteral("20"));
            QCOMPARE(f.Label9->caption(), QStringLiteral("5 Seconds"));
            QVERIFY(!f.slot(20)->text().isEmpty());
            QVERIFY(!ownEnabled(f.File1));
            QVERIFY(ownEnabled(f.Command2));
        }
        // Never touched by clearing.
        QCOMPARE(f.Text1->text(), QStringLiteral("5000"));
        QCOMPARE(f.Text10->text(), QStringLiteral("5"));
        QCOMPARE(f.Text8->text(), QStringLiteral("/p/a.gif"));

        // After a clear the next file fills slot 1 and switches both buttons on.
        if (cleared) {
            f.Command7->setEnabled(false);
            QVERIFY(fx.doubleClickFile(QStringLiteral("b.gif")));
            QVERIFY(f.slot(1)->text().endsWith(QStringLiteral("/b.gif")));
            QVERIFY(ownEnabled(f.Command2) && ownEnabled(f.Command7));
        }
    }

    // The sign-in watchdog may close the main window while the question is open.
    void dialogOutlivesTheMainWindow()
    {
        Fixture fx;
        fx.form->Command7->setEnabled(true);
        fx.form->Command7->click();
        QPointer<Form4> dialog = openDialog();
        QVERIFY(dialog);
        fx.form.reset();
        dialog->Command1->click();
        deleteClosedWindows();
        QVERIFY(dialog.isNull());
    }
};

QTEST_MAIN(TestEditing)
#include "test_editing.moc"
