#include <QApplication>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "EditingFixture.h"
#include "fakes/Windows.h"
#include "controls/Fonts.h"

// Folders that change or cannot be read while the lists show them, and a
// folder of 100,000 pictures. Nothing crashes, the slide show keeps what it
// has, and the way up always works. Times are printed, not judged: the
// machine is shared.
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

    static qint64 timed(const std::function<void()>& action)
    {
        QElapsedTimer clock;
        clock.start();
        action();
        return clock.elapsed();
    }

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
            if (!user->ok())
                QSKIP("needs root to act as an ordinary user");
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

    // 100,000 pictures in one folder: open it, add the last one, go up and
    // come back. The figures go to the log.
    void hundredThousandFiles()
    {
        constexpr int Count = 100000;
        EditingFixture fx;
        const QByteArray folder = fx.root() + "/many";
        QVERIFY(EditingFixture::makeFolder(folder));
        QElapsedTimer making;
        making.start();
        // Hard links (a fresh file every 50,000, below ext4's link limit) make
        // the folder ten times faster than as many new files would.
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const auto closeFolder = qScopeGuard([fd] { ::close(fd); });
        QByteArray original;
        for (int i = 0; i < Count; ++i) {
            const QByteArray name = "img" + QByteArray::number(i) + ".jpg";
            if (i % 50000 == 0) {
                original = name;
                QVERIFY(EditingFixture::makeFile(folder + '/' + name));
            } else {
                QVERIFY2(::linkat(fd, original.constData(), fd, name.constData(), 0) == 0, strerror(errno));
            }
        }
        QVERIFY(EditingFixture::makeFile(folder + "/notes.txt"));
        qInfo("made %d files in %lld ms", Count, making.elapsed());

        const QString path = QFile::decodeName(folder);
        bool ok = false;
        const qint64 open = timed([&] { ok = fx.openFolder(path); });
        QVERIFY(ok);
        QCOMPARE(fx.form->File1->count(), Count);
        const QStringList names = fx.form->File1->names();
        QCOMPARE(names.first(), QStringLiteral("img0.jpg"));
        QCOMPARE(names.last(), QStringLiteral("img%1.jpg").arg(Count - 1));

        const qint64 add = timed([&] { ok = fx.addFile(names.last()); });
        QVERIFY(ok);
        QCOMPARE(fx.form->slot(1)->text(), path + QLatin1Char('/') + names.last());
        const qint64 up = timed([&] { ok = fx.goUp(); });
        QVERIFY(ok);
        QCOMPARE(fx.form->File1->count(), 0);
        const qint64 again = timed([&] { ok = fx.activateFolder(path); });
        QVERIFY(ok);
        QCOMPARE(fx.form->File1->count(), Count);
        // Painting the list is part of what the user waits for.
        const qint64 paint = timed([&] { fx.form->grab(); });
        qInfo("100,000 files: open %lld ms, add %lld ms, up %lld ms, open again %lld ms, paint %lld ms", open,
              add, up, again, paint);
        QVERIFY2(fx.inconsistency().isEmpty(), qPrintable(fx.inconsistency()));
    }

    // The same number of subfolders fills the folder list instead: open the
    // folder, go into the last subfolder and back up.
    void hundredThousandSubfolders()
    {
        constexpr int Count = 100000;
        EditingFixture fx;
        const QByteArray folder = fx.root() + "/many";
        QVERIFY(EditingFixture::makeFolder(folder));
        QElapsedTimer making;
        making.start();
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const auto closeFolder = qScopeGuard([fd] { ::close(fd); });
        for (int i = 0; i < Count; ++i)
            QVERIFY2(::mkdirat(fd, ("sub" + QByteArray::number(i)).constData(), 0755) == 0, strerror(errno));
        QVERIFY(EditingFixture::makeFile(folder + "/sub99999/inside.jpg"));
        qInfo("made %d folders in %lld ms", Count, making.elapsed());

        const QString path = QFile::decodeName(folder);
        const QString last = path + QStringLiteral("/sub%1").arg(Count - 1);
        bool ok = false;
        const qint64 open = timed([&] { ok = fx.openFolder(path); });
        QVERIFY(ok);
        const int chain = int(path.count(QLatin1Char('/'))) + 1;
        QCOMPARE(fx.form->Dir1->count(), chain + Count);
        QCOMPARE(fx.form->Dir1->item(fx.form->Dir1->count() - 1)->data(Qt::UserRole).toString(), last);
        const qint64 into = timed([&] { ok = fx.activateFolder(last); });
        QVERIFY(ok);
        QCOMPARE(fx.form->File1->names(), QStringList{QStringLiteral("inside.jpg")});
        const qint64 up = timed([&] { ok = fx.goUp(); });
        QVERIFY(ok);
        QCOMPARE(fx.form->Dir1->count(), chain + Count);
        const qint64 paint = timed([&] { fx.form->grab(); });
        qInfo("100,000 subfolders: open %lld ms, into one %lld ms, back up %lld ms, paint %lld ms", open,
              into, up, paint);
    }
};

QTEST_MAIN(TestHardeningFolders)
#include "test_hardening_folders.moc"
