// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QtTest>

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "controls/Fonts.h"
#include "support/EditingFixture.h"
#include "support/Windows.h"

// File and folder names the way the file system holds them: whatever bytes
// a name has, the file list shows it, a slot takes folder + "/" + name, and
// that path still names the file, byte for byte.
class TestHardeningNames : public QObject
{
    Q_OBJECT

    static QByteArray repeated(const char* unit, int times, const char* tail)
    {
        QByteArray name;
        for (int i = 0; i < times; ++i)
            name += unit;
        return name + tail;
    }

    static bool exists(const QByteArray& path)
    {
        struct stat info;
        return ::lstat(path.constData(), &info) == 0;
    }

private Q_SLOTS:
    void initTestCase() { useProgramFont(*qApp); }

    void cleanup() { closeAllWindows(); }

    void awkwardNames_data()
    {
        QTest::addColumn<QByteArray>("name"); // raw bytes, valid UTF-8

        QTest::newRow("spaces") << QByteArray("  two  spaces and a trailing one .jpg");
        QTest::newRow("quotes") << QByteArray("it's \"quoted\".gif");
        QTest::newRow("command substitution") << QByteArray("$(touch pwned) ${HOME}.jpg");
        QTest::newRow("backticks") << QByteArray("`touch pwned`; rm -rf x.bmp");
        QTest::newRow("leading dash") << QByteArray("-rf --help.jpg");
        QTest::newRow("wildcards and backslash") << QByteArray("*?[a-z]\\ {x}.gif");
        QTest::newRow("non-ASCII") << QByteArray("Ærø ñ 日本語 Привет.jpg");
        QTest::newRow("outside the basic plane") << QByteArray("\xf0\x9f\x99\x82 \xf0\x9d\x84\x9e.gif");
        QTest::newRow("decomposed accent kept as is") << QByteArray("cafe\xcc\x81.jpg");
        QTest::newRow("line break") << QByteArray("two\nlines.jpg");
        QTest::newRow("tab, CR and other controls") << QByteArray("a\tb\rc\x01\x1b[31m.jpg");
        QTest::newRow("255 ASCII bytes") << repeated("a", 251, ".jpg");
        QTest::newRow("255 bytes of 3-byte characters") << repeated("\xe8\xaa\x9e", 83, "ab.jpg");
        QTest::newRow("255 bytes of 4-byte characters") << repeated("\xf0\x9f\x99\x82", 62, "abc.jpg");
    }

    // Lists once, fills a slot with the exact path, and the slot's path
    // names the file on disk.
    void awkwardNames()
    {
        QFETCH(QByteArray, name);
        QVERIFY(name.size() <= NAME_MAX);
        EditingFixture fx;
        const QByteArray folder = fx.root() + "/pictures";
        QVERIFY(EditingFixture::makeFolder(folder));
        QVERIFY2(EditingFixture::makeFile(folder + '/' + name), strerror(errno));

        QVERIFY(fx.openFolder(QFile::decodeName(folder)));
        const QString shown = QString::fromUtf8(name);
        QCOMPARE(fx.form->File1->names(), QStringList{shown});

        QVERIFY(fx.addFile(shown));
        const QString slot = fx.form->slot(1)->text();
        QCOMPARE(slot, QFile::decodeName(folder) + QLatin1Char('/') + shown);
        QCOMPARE(QFile::encodeName(slot), folder + '/' + name);
        QVERIFY(exists(QFile::encodeName(slot)));
        QCOMPARE(fx.listLines(), QStringList{shown});
        QCOMPARE(fx.form->Label23->caption(), QStringLiteral("1"));
        QVERIFY2(fx.inconsistency().isEmpty(), qPrintable(fx.inconsistency()));
    }

    // Names that are not valid UTF-8 (written by other systems or old
    // tools). Qt reads each bad byte as U+FFFD, and QFile::encodeName turns
    // that into EF BF BD: the name does not survive the round trip, so a
    // listed entry would lead nowhere. Whatever is listed must be usable.
    void undecodableNames_data()
    {
        QTest::addColumn<QByteArrayList>("names"); // files beside "plain.jpg"
        QTest::addColumn<bool>("asFolders");

        QTest::newRow("stray byte") << QByteArrayList{"bad\xff.jpg"} << false;
        QTest::newRow("Latin-1 accent") << QByteArrayList{"caf\xe9.jpg"} << false;
        QTest::newRow("overlong slash") << QByteArrayList{"over\xc0\xaflong.jpg"} << false;
        QTest::newRow("encoded surrogate") << QByteArrayList{"sur\xed\xa0\x80.gif"} << false;
        QTest::newRow("two names that read alike") << QByteArrayList{"twin\xfe.jpg", "twin\xff.jpg"} << false;
        QTest::newRow("folder") << QByteArrayList{"caf\xe9"} << true;
    }

    void undecodableNames()
    {
        QFETCH(QByteArrayList, names);
        QFETCH(bool, asFolders);

        EditingFixture fx;
        const QByteArray folder = fx.root() + "/mixed";
        QVERIFY(EditingFixture::makeFolder(folder));
        QVERIFY(EditingFixture::makeFile(folder + "/plain.jpg"));
        for (const QByteArray& name : std::as_const(names)) {
            if (asFolders) {
                QVERIFY(EditingFixture::makeFolder(folder + '/' + name));
                QVERIFY(EditingFixture::makeFile(folder + '/' + name + "/inside.jpg"));
            } else {
                QVERIFY(EditingFixture::makeFile(folder + '/' + name));
            }
            QVERIFY(QFile::encodeName(QFile::decodeName(name)) != name);
        }
        QVERIFY(fx.openFolder(QFile::decodeName(folder)));

        // The good neighbour is untouched by the bad names.
        QVERIFY(fx.form->File1->names().contains(QStringLiteral("plain.jpg")));
        QVERIFY(fx.addFile(QStringLiteral("plain.jpg")));
        QVERIFY(exists(QFile::encodeName(fx.form->slot(1)->text())));

        QStringList unusable;
        if (asFolders) {
            // A listed subfolder must open onto what is in it.
            const QString here = fx.form->Dir1->path();
            for (int i = 0; i < fx.form->Dir1->count(); ++i) {
                const QString path = fx.form->Dir1->item(i)->data(Qt::UserRole).toString();
                if (!path.startsWith(here + QLatin1Char('/')))
                    continue;
                QVERIFY(fx.activateFolder(path));
                if (fx.form->File1->names() != QStringList{QStringLiteral("inside.jpg")})
                    unusable << path;
                QVERIFY(fx.goUp());
            }
        } else {
            for (const QString& name : fx.form->File1->names()) {
                if (name == QStringLiteral("plain.jpg"))
                    continue;
                QVERIFY(fx.addFile(name));
                const QString slot = fx.form->slot(fx.form->List1->count())->text();
                QCOMPARE(slot, fx.form->File1->path() + QLatin1Char('/') + name);
                if (!exists(QFile::encodeName(slot)))
                    unusable << slot;
            }
        }
        // Nothing is lost or garbled in the slide show whatever was added.
        QVERIFY2(fx.inconsistency().isEmpty(), qPrintable(fx.inconsistency()));
        QVERIFY(fx.form->isVisible());

        QVERIFY2(unusable.isEmpty(), qPrintable(unusable.join(QStringLiteral(", "))));
    }

    // A path of about 4,000 bytes lists, fills a slot and goes back up; a
    // folder below it whose path is beyond PATH_MAX cannot be read at all: it
    // shows empty, and the way up still works.
    void longPaths()
    {
        EditingFixture fx;
        const QByteArray name = QByteArray(251, 'n') + ".gif";
        const QByteArray level(200, 'd');
        QByteArray deep = fx.root();
        while (deep.size() + 1 + name.size() < 3990) {
            const qsizetype room = 4000 - deep.size() - 1 - name.size() - 1;
            deep += '/' + level.left(qMin(level.size(), room));
            QVERIFY2(EditingFixture::makeFolder(deep), strerror(errno));
        }
        QVERIFY2(EditingFixture::makeFile(deep + '/' + name), strerror(errno));
        QVERIFY(deep.size() + 1 + name.size() >= 3990);

        QVERIFY(fx.openFolder(QFile::decodeName(deep)));
        QCOMPARE(fx.form->Label17->caption(), QFile::decodeName(deep));
        QCOMPARE(fx.form->File1->names(), QStringList{QString::fromLatin1(name)});
        QVERIFY(fx.addFile(QString::fromLatin1(name)));
        QCOMPARE(QFile::encodeName(fx.form->slot(1)->text()), deep + '/' + name);
        QVERIFY(exists(QFile::encodeName(fx.form->slot(1)->text())));
        QVERIFY(fx.goUp());
        QCOMPARE(fx.form->File1->path(), QFile::decodeName(deep.left(deep.lastIndexOf('/'))));
        QVERIFY(fx.activateFolder(QFile::decodeName(deep)));

        // Two more levels, made relative to an open folder: the first still
        // fits in PATH_MAX, the second does not.
        int fd = ::open(deep.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(::mkdirat(fd, level.constData(), 0755) == 0);
            const int next = ::openat(fd, level.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
            QVERIFY(fd >= 0);
        }
        const int file = ::openat(fd, "x.jpg", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(file >= 0);
        ::close(file);
        ::close(fd);

        fx.form->Dir1->refresh();
        for (int i = 0; i < 2; ++i)
            QVERIFY(fx.activateFolder(fx.form->Dir1->path() + QLatin1Char('/') + QString::fromLatin1(level)));
        QVERIFY(QFile::encodeName(fx.form->File1->path()).size() >= PATH_MAX);
        QCOMPARE(fx.form->File1->count(), 0);
        QCOMPARE(fx.form->Label17->caption(), fx.form->File1->path());
        QVERIFY(fx.goUp());
        QCOMPARE(fx.form->File1->count(), 0); // it holds only the folder beyond
        QVERIFY(fx.activateFolder(QStringLiteral("/")));
        QCOMPARE(fx.form->File1->path(), QStringLiteral("/"));
        QCOMPARE(fx.form->Label23->caption(), QStringLiteral("1"));
        QVERIFY2(fx.inconsistency().isEmpty(), qPrintable(fx.inconsistency()));
    }
};

QTEST_MAIN(TestHardeningNames)
#include "test_hardening_names.moc"
