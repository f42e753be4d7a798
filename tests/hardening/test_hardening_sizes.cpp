// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QImage>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "controls/Fonts.h"
#include "support/StandInProcess.h"
#include "support/StandInShowFixture.h"
#include "support/Timed.h"
#include "support/Windows.h"

// Sizes far beyond what a person picks, each taking a while: folders of
// 100,000 pictures or subfolders, and a 50-megapixel picture sent to the
// real stand-in on a private bus. Times are printed, not judged: the machine
// is shared.
class TestHardeningSizes : public QObject
{
    Q_OBJECT

    StandInProcess m_standIn;

private Q_SLOTS:
    void initTestCase()
    {
        useProgramFont(*qApp);
        QApplication::setQuitOnLastWindowClosed(false);
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
    }

    void cleanupTestCase() { m_standIn.stop(); }

    void cleanup() { closeAllWindows(); }

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

    // A 50-megapixel JPEG is a picture like any other: the header is all the
    // program reads of it, and the stand-in takes it.
    void fiftyMegapixelPicture()
    {
        QVERIFY(m_standIn.start());
        StandInShowFixture fx;

        // 8000 x 6250: fifty megapixels of one colour, small on disk.
        QElapsedTimer clock;
        clock.start();
        QImage big(8000, 6250, QImage::Format_Grayscale8);
        big.fill(90);
        const QString bigPath = fx.dir.filePath(QStringLiteral("big.jpg"));
        QVERIFY(big.save(bigPath, "JPEG", 40));
        QFile file(bigPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        qInfo("made a 50-megapixel JPEG (%lld bytes) in %lld ms", qint64(content.size()), clock.elapsed());

        const QByteArray picture = fx.addPicture(fx.root() + "/show", content);
        QVERIFY(!picture.isEmpty());
        const QString path = fx.form->slot(1)->text();
        QVERIFY(StandInProcess::control(QStringLiteral("ClearReceivedPictures")).type() ==
                QDBusMessage::ReplyMessage);
        clock.restart();
        fx.activateAndTick();
        qInfo("the tick took %lld ms", clock.elapsed());

        const QStringList received = StandInProcess::receivedPictures();
        QCOMPARE(received, QStringList{path});
        QCOMPARE(QFile::encodeName(received.value(0)), picture);
        QCOMPARE(fx.form->Label2->caption(), QStringLiteral("Program Is Currently Active!"));
        QCOMPARE(fx.form->Text8->text(), path);
        QVERIFY(fx.form->slideTimer(2)->isEnabled());
        QVERIFY(!fx.form->Frame2->isEnabled());
        QCOMPARE(fx.form->slot(1)->text(), path);
        QCOMPARE(fx.listLines(), QStringList{QStringLiteral("pic.jpg")});
        QCOMPARE(fx.form->Label23->caption(), QStringLiteral("1"));
        QVERIFY(fx.form->Command1->isEnabled()); // Deactivate stays at hand
        QVERIFY(m_standIn.isRunning());
    }
};

QTEST_MAIN(TestHardeningSizes)
#include "test_hardening_sizes.moc"
