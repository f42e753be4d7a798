// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "controls/Fonts.h"
#include "support/EditingFixture.h"
#include "support/Timed.h"
#include "support/Windows.h"

// Folders that change or cannot be read while the lists show them. Nothing
// crashes, the slide show keeps what it has, and the way up always works.
// Times are printed, not judged: the machine is shared. (Folders of 100,000
// entries are in test_hardening_sizes.)
class TestHardeningFolders : public QObject
{
    Q_OBJECT

    enum class Fault
    {
        Removed,
        RemovedWithParent,
        ReplacedByFile,
        ReplacedBySymlinkLoop,
        Unreadable,
    };

private Q_SLOTS:
    void initTestCase() { useProgramFont(*qApp); }

    void cleanup() { closeAllWindows(); }

    void faultWhileShown_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::newRow("removed") << Fault::Removed;
        QTest::newRow("removed with its parent") << Fault::RemovedWithParent;
        QTest::newRow("replaced by a file") << Fault::ReplacedByFile;
        QTest::newRow("replaced by a symlink loop") << Fault::ReplacedBySymlinkLoop;
        QTest::newRow("unreadable to an ordinary user") << Fault::Unreadable;
    }

    // The folder shown goes bad under the lists. The stale entries can still
    // be added (the messenger will refuse them), going up and coming back
    // works, and the slide show stays consistent.
    void faultWhileShown()
    {
        QFETCH(Fault, fault);
        EditingFixture fx;
        QVERIFY(::chmod(fx.root().constData(), 0755) == 0); // an ordinary user may pass
        const QByteArray top = fx.root() + "/top";
        const QByteArray shown = top + "/shown";
        QVERIFY(EditingFixture::makeFolder(top));
        QVERIFY(EditingFixture::makeFolder(shown));
        QVERIFY(EditingFixture::makeFile(top + "/t.jpg"));
        QVERIFY(EditingFixture::makeFile(shown + "/a.jpg"));
        QVERIFY(EditingFixture::makeFile(shown + "/b.jpg"));
        QVERIFY(fx.openFolder(QFile::decodeName(shown)));
        QVERIFY(fx.addFile(QStringLiteral("a.jpg")));

        switch (fault) {
        case Fault::Removed:
            QVERIFY(QDir(QFile::decodeName(shown)).removeRecursively());
            break;
        case Fault::RemovedWithParent:
            QVERIFY(QDir(QFile::decodeName(top)).removeRecursively());
            break;
        case Fault::ReplacedByFile:
            QVERIFY(QDir(QFile::decodeName(shown)).removeRecursively());
            QVERIFY(EditingFixture::makeFile(shown, "not a folder"));
            break;
        case Fault::ReplacedBySymlinkLoop:
            QVERIFY(QDir(QFile::decodeName(shown)).removeRecursively());
            QVERIFY(::symlink("shown", shown.constData()) == 0);
            break;
        case Fault::Unreadable:
            QVERIFY(::chmod(shown.constData(), 0) == 0);
            break;
        }
        std::optional<AsOrdinaryUser> user;
        if (fault == Fault::Unreadable) {
            user.emplace();
            QVERIFY2(user->ok(), "cannot act as an ordinary user");
        }

        // The list still shows what was there; adding from it works.
        QVERIFY(fx.addFile(QStringLiteral("b.jpg")));
        QCOMPARE(fx.form->slot(2)->text(), QFile::decodeName(shown) + QStringLiteral("/b.jpg"));

        // Up, as far as it takes to reach a folder that is still there.
        qint64 slowest = 0;
        int ups = 0;
        do {
            bool up = false;
            slowest = qMax(slowest, timed([&] { up = fx.goUp(); }));
            QVERIFY(up);
            ++ups;
        } while (!QFileInfo(fx.form->Dir1->path()).isDir());
        QCOMPARE(ups, fault == Fault::RemovedWithParent ? 2 : 1);
        QCOMPARE(fx.form->Label17->caption(), fx.form->Dir1->path());
        if (fault != Fault::RemovedWithParent)
            QCOMPARE(fx.form->File1->names(), QStringList{QStringLiteral("t.jpg")});

        // Back into it where it is still listed as a folder: empty, no hang.
        const bool listed = fx.folderEntry(QFile::decodeName(shown)) != nullptr;
        QCOMPARE(listed, fault == Fault::Unreadable);
        if (listed) {
            bool opened = false;
            slowest = qMax(slowest, timed([&] { opened = fx.activateFolder(QFile::decodeName(shown)); }));
            QVERIFY(opened);
            QCOMPARE(fx.form->File1->count(), 0);
            QVERIFY(fx.goUp());
        }
        user.reset();
        ::chmod(shown.constData(), 0755);

        qInfo("slowest folder change: %lld ms", slowest);
        QCOMPARE(fx.form->Label23->caption(), QStringLiteral("2"));
        QVERIFY2(fx.inconsistency().isEmpty(), qPrintable(fx.inconsistency()));
        QVERIFY(fx.form->isVisible() && fx.form->File1->isEnabled());
    }

    // Two links that point at each other, and a link to a device: neither is
    // a folder or a picture to list.
    void linksThatLeadNowhere()
    {
        EditingFixture fx;
        const QByteArray folder = fx.root() + "/links";
        QVERIFY(EditingFixture::makeFolder(folder));
        QVERIFY(EditingFixture::makeFile(folder + "/real.jpg"));
        QVERIFY(::symlink("pong.jpg", (folder + "/ping.jpg").constData()) == 0);
        QVERIFY(::symlink("ping.jpg", (folder + "/pong.jpg").constData()) == 0);
        QVERIFY(::symlink("there", (folder + "/here").constData()) == 0);
        QVERIFY(::symlink("here", (folder + "/there").constData()) == 0);
        QVERIFY(::symlink("/dev/zero", (folder + "/zero.jpg").constData()) == 0);
        QVERIFY(fx.openFolder(QFile::decodeName(folder)));
        QCOMPARE(fx.form->File1->names(), QStringList{QStringLiteral("real.jpg")});
        QVERIFY(!fx.folderEntry(QFile::decodeName(folder + "/here")));
        QVERIFY(!fx.folderEntry(QFile::decodeName(folder + "/there")));
    }
};

QTEST_MAIN(TestHardeningFolders)
#include "test_hardening_folders.moc"
