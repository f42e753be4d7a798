// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QImage>
#include <QSet>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/ProgramTexts.h"
#include "support/TilecastUnderTest.h"

namespace {

using testsupport::ErrorLine;

// Measures how long the program's window takes to answer: a screen reader's
// question (GetRoleName on its accessible root) is served by its GUI
// thread, so a slow answer is a frozen window.
class FreezeProbe
{
public:
    bool attach(qint64 pid, QString* why)
    {
        const auto app = testsupport::A11yTree::waitFor(
            pid, [](const testsupport::A11yTree::Node&) { return true; }, 5000, why);
        if (!app)
            return false;
        m_service = app->service;
        m_path = app->path;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                           QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
            QDBus::Block, 2000);
        const QString address = reply.arguments().value(0).toString();
        m_bus = QDBusConnection::connectToBus(address, QStringLiteral("hardening freeze probe"));
        if (!m_bus.isConnected())
            *why = QStringLiteral("cannot reach the accessibility bus at ") + address;
        return m_bus.isConnected();
    }

    // Asks again and again until `done` holds or the time is up; returns the
    // longest wait for one answer (-1 when an answer never came).
    qint64 longestWait(const std::function<bool()>& done, int timeoutMs)
    {
        QElapsedTimer total;
        total.start();
        qint64 longest = 0;
        while (total.elapsed() < timeoutMs && !done()) {
            QDBusMessage ask =
                QDBusMessage::createMethodCall(m_service, m_path, QStringLiteral("org.a11y.atspi.Accessible"),
                                               QStringLiteral("GetRoleName"));
            QElapsedTimer clock;
            clock.start();
            QDBusPendingCall call = m_bus.asyncCall(ask, 30000);
            while (!call.isFinished())
                QTest::qWait(5);
            if (call.isError())
                return -1;
            longest = qMax(longest, clock.elapsed());
            QTest::qWait(20);
        }
        return longest;
    }

private:
    QDBusConnection m_bus{QString()};
    QString m_service;
    QString m_path;
};

} // namespace

// The real program and the real stand-in in a private desktop, fed bad
// names, bad pictures and a messenger that dies, hangs, errs or changes
// account; and desktops without a tray or a window manager (run through
// nested sessions, see CMakeLists.txt). Figures go to the log.
class TestHardeningDesktop : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;

    static QString sample(const char* name)
    {
        return QStringLiteral(TILECAST_SOURCE_DIR "/resources/samples/") + QString::fromLatin1(name);
    }

    static bool copyRaw(const QString& from, const QByteArray& to)
    {
        QFile in(from);
        if (!in.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = in.readAll();
        const int fd = ::open(to.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
        return ::close(fd) == 0 && ok;
    }

    // A picture of the kind its name's extension says.
    static bool makePicture(const QByteArray& path)
    {
        const char* source = path.endsWith(".gif")   ? "tiles.gif"
                             : path.endsWith(".bmp") ? "sunset.bmp"
                                                     : "aurora.jpg";
        return copyRaw(sample(source), path);
    }

    static QString displayPicture()
    {
        return StandInProcess::property(QStringLiteral("DisplayPicture")).toString();
    }

    // What the main window shows of the slide show: the names in the list
    // and the count beside its heading.
    struct SlideShowView
    {
        QStringList names;
        QString count;
    };

    static std::optional<SlideShowView> slideShowView(const TilecastUnderTest& run)
    {
        const auto app = testsupport::A11yTree::snapshot(run.tilecast->pid());
        if (!app)
            return std::nullopt;
        const auto lists = app->findAll([](const testsupport::A11yTree::Node& n) {
            return n.role == QStringLiteral("list") && n.name == QStringLiteral("Images In Slide Show:");
        });
        const auto counts = app->findAll([](const testsupport::A11yTree::Node& n) {
            return n.description == QStringLiteral("Number of images in the slide show");
        });
        if (lists.size() != 1 || counts.size() != 1)
            return std::nullopt;
        SlideShowView view;
        for (const auto& item : lists.first()->children)
            view.names << item.name;
        view.count = counts.first()->name;
        return view;
    }

    // Starts the stand-in and the program in `folder` and waits for the main window.
    static std::optional<testsupport::XWindow>
    startBoth(TilecastUnderTest& run, const QString& folder,
              const QString& account = QStringLiteral("alice@localhost"))
    {
        if (!run.startMessenger({QStringLiteral("--account"), account}) || !run.startTilecast(folder))
            return std::nullopt;
        return run.shownWindow(TilecastUnderTest::mainSize(), 10000);
    }

    // Adds the first `count` files of the file list with the keyboard.
    static bool addFiles(const testsupport::XWindow& main, int count)
    {
        QStringList keys{QStringLiteral("Home")};
        for (int i = 0; i < count; ++i)
            keys << (i ? QStringList{QStringLiteral("Down"), QStringLiteral("Return")}
                       : QStringList{QStringLiteral("Return")});
        return TilecastUnderTest::keys(main, keys);
    }

    static bool waitForCount(const TilecastUnderTest& run, int count, int timeoutMs = 5000)
    {
        return QTest::qWaitFor(
            [&] {
                const auto view = slideShowView(run);
                return view && view->count == QString::number(count) && view->names.size() == count;
            },
            timeoutMs);
    }

    static bool desktopHasTray()
    {
        return QProcess::execute(
                   QStringLiteral("sh"),
                   {QStringLiteral("-c"),
                    QStringLiteral("xdotool search --onlyvisible --class '^trayer$' >/dev/null")}) == 0;
    }

    static bool desktopHasWindowManager()
    {
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"),
                    {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
        xprop.waitForFinished(5000);
        return xprop.readAllStandardOutput().contains("window id");
    }

    // Brings an iconified main window back through the window manager. The
    // window manager animates the way back, so the window only counts once
    // it stands still; clicks sent earlier land elsewhere.
    static std::optional<testsupport::XWindow> restore(TilecastUnderTest& run,
                                                       const testsupport::XWindow& window)
    {
        TilecastUnderTest::xdotool({QStringLiteral("windowactivate"), window.idHex()});
        std::optional<testsupport::XWindow> last;
        std::optional<testsupport::XWindow> settled;
        (void)QTest::qWaitFor(
            [&] {
                const auto now = run.shownWindow(TilecastUnderTest::mainSize(), 0);
                if (now && last && now->geometry == last->geometry)
                    settled = now;
                last = now;
                if (!settled)
                    QTest::qWait(100);
                return settled.has_value();
            },
            5000);
        return settled;
    }

private Q_SLOTS:
    void initTestCase() { TILECAST_REQUIRE_DESKTOP(testsupport::DesktopNeeds{true, false, false}); }

    // QTemporaryDir gives up on names that are not UTF-8.
    void cleanupTestCase()
    {
        QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), QStringLiteral("--"), m_work.path()});
    }

    // Awkward names, added with the keyboard and shown one a second: each
    // path reaches the messenger exactly as the file system spells it, and
    // no part of a name is ever run.
    void awkwardNamesReachTheMessenger()
    {
        TILECAST_REQUIRE_DESKTOP();
        const QByteArray folder = QFile::encodeName(m_work.path()) + "/names $(x) `y`";
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        const QByteArrayList names = {
            "  spaced  out .jpg",
            "it's \"quoted\".gif",
            "$(touch pwned).jpg",
            "`touch pwned`.bmp",
            "-rf --help.jpg",
            "\xc3\x86r\xc3\xb8 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x99\x82.jpg",
            "cafe\xcc\x81.jpg",
            "two\nlines.gif",
            QByteArray(251, 'x') + ".bmp",
        };
        for (const QByteArray& name : names)
            QVERIFY2(makePicture(folder + '/' + name), name.constData());

        TilecastUnderTest run;
        auto main = startBoth(run, QFile::decodeName(folder));
        QVERIFY2(main, qPrintable(run.report()));
        QVERIFY(addFiles(*main, int(names.size())));
        QVERIFY2(waitForCount(run, int(names.size())), qPrintable(run.report()));
        const QStringList listed = slideShowView(run)->names;

        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ActivateButton));
        QVERIFY2(QTest::qWaitFor([&] { return StandInProcess::receivedPictures().size() >= names.size(); },
                                 int(names.size()) * 1000 + 8000),
                 qPrintable(run.report()));
        const QStringList received = StandInProcess::receivedPictures().mid(0, int(names.size()));
        QStringList receivedNames;
        for (int i = 0; i < received.size(); ++i) {
            QVERIFY2(received[i].startsWith(QFile::decodeName(folder) + QLatin1Char('/')),
                     qPrintable(received[i]));
            const QByteArray bytes = QFile::encodeName(received[i]);
            QVERIFY2(names.contains(bytes.mid(folder.size() + 1)), bytes.constData());
            receivedNames << received[i].mid(QFile::decodeName(folder).size() + 1);
        }
        // In the order of the list, each name once, and every one accepted.
        QCOMPARE(receivedNames, listed);
        QCOMPARE(QSet<QString>(receivedNames.begin(), receivedNames.end()).size(), names.size());
        QCOMPARE(displayPicture(), received.last());
        // The program runs in that folder: a shell given a name would have left this.
        QVERIFY(!QFile::exists(QFile::decodeName(folder) + QStringLiteral("/pwned")));
        QVERIFY(run.tilecast->isRunning());
    }

    // A folder 3,740 bytes deep holding a 255-byte name, and a name that is
    // not UTF-8. The first reaches the messenger intact; the second cannot
    // travel as D-Bus text: either it is not offered at all, or the
    // messenger is sent a path with U+FFFD that names no file, refuses it,
    // and the error line shows.
    void longPathAndUndecodableName()
    {
        TILECAST_REQUIRE_DESKTOP();
        QByteArray deep = QFile::encodeName(m_work.path());
        while (deep.size() < 3740) {
            deep += '/' + QByteArray(qMin(200, 3740 - int(deep.size()) - 1), 'd');
            QVERIFY(::mkdir(deep.constData(), 0755) == 0);
        }
        const QByteArray longName = QByteArray(251, 'n') + ".gif";
        const QByteArray badName = "z caf\xe9.jpg";
        QVERIFY(makePicture(deep + "/a.jpg"));
        QVERIFY(makePicture(deep + '/' + longName));
        QVERIFY(makePicture(deep + '/' + badName));

        TilecastUnderTest run;
        auto main = startBoth(run, QFile::decodeName(deep));
        QVERIFY2(main, qPrintable(run.report()));
        const auto tree = run.waitForCaption(QStringLiteral("a.jpg"), 5000);
        QVERIFY2(tree, qPrintable(run.report()));
        const bool offered = tree->findByName(QFile::decodeName(badName)) != nullptr;
        const int count = offered ? 3 : 2;
        QVERIFY(addFiles(*main, count));
        QVERIFY2(waitForCount(run, count), qPrintable(run.report()));
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ActivateButton));
        QVERIFY2(QTest::qWaitFor([] { return StandInProcess::receivedPictures().size() >= 3; }, 10000),
                 qPrintable(run.report()));

        const QStringList received = StandInProcess::receivedPictures();
        QCOMPARE(QFile::encodeName(received[0]), deep + "/a.jpg");
        QCOMPARE(QFile::encodeName(received[1]), deep + '/' + longName);
        QCOMPARE(QFile::encodeName(received[1]).size(), 3996);
        if (offered) {
            QCOMPARE(received[2], QFile::decodeName(deep) + QStringLiteral("/z caf\uFFFD.jpg"));
            QVERIFY(QFile::encodeName(received[2]) != deep + '/' + badName);
        } else {
            QCOMPARE(received[2], QString()); // the empty third slot
        }
        qInfo("the undecodable name was %s", offered ? "listed, sent with U+FFFD and refused" : "not listed");
        QCOMPARE(displayPicture(), received[1]);
        QVERIFY2(run.waitForCaption(ErrorLine, 4000), qPrintable(run.report()));
        const auto view = slideShowView(run);
        QVERIFY(view);
        QCOMPARE(view->count, QString::number(count));
        QVERIFY(run.tilecast->isRunning());
    }

    // Pictures that went bad after they were added: a 50-megapixel JPEG and
    // a half-written one are taken, a deleted one is refused and stops the
    // show with the error line. The slide show stays as it was, and the
    // window, brought back, still works.
    void picturesGoneBad()
    {
        TILECAST_REQUIRE_DESKTOP();
        const QByteArray folder = QFile::encodeName(m_work.path()) + "/pictures";
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        QVERIFY(makePicture(folder + "/1 good.jpg"));
        QImage big(8000, 6250, QImage::Format_Grayscale8);
        big.fill(90);
        QVERIFY(big.save(QFile::decodeName(folder + "/2 big.jpg"), "JPEG", 40));
        QFile jpeg(sample("aurora.jpg"));
        QVERIFY(jpeg.open(QIODevice::ReadOnly));
        QFile half(QFile::decodeName(folder + "/3 half.jpg"));
        QVERIFY(half.open(QIODevice::WriteOnly));
        half.write(jpeg.readAll().left(int(jpeg.size() / 2)));
        half.close();
        QVERIFY(makePicture(folder + "/4 gone.jpg"));
        QVERIFY(makePicture(folder + "/5 after.jpg"));

        TilecastUnderTest run;
        auto main = startBoth(run, QFile::decodeName(folder));
        QVERIFY2(main, qPrintable(run.report()));
        QVERIFY(addFiles(*main, 5));
        QVERIFY2(waitForCount(run, 5), qPrintable(run.report()));
        QVERIFY(QFile::remove(QFile::decodeName(folder + "/4 gone.jpg")));

        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ActivateButton));
        QVERIFY2(QTest::qWaitFor([] { return StandInProcess::receivedPictures().size() >= 4; }, 10000),
                 qPrintable(run.report()));
        QTest::qWait(1500); // the ring must have stopped at the refused picture
        const QStringList received = StandInProcess::receivedPictures();
        const QString dir = QFile::decodeName(folder);
        QCOMPARE(received,
                 (QStringList{dir + QStringLiteral("/1 good.jpg"), dir + QStringLiteral("/2 big.jpg"),
                              dir + QStringLiteral("/3 half.jpg"), dir + QStringLiteral("/4 gone.jpg")}));
        QCOMPARE(displayPicture(), dir + QStringLiteral("/3 half.jpg"));

        main = restore(run, *main);
        QVERIFY2(main, qPrintable(run.report()));
        QVERIFY2(run.waitForCaption(ErrorLine, 3000), qPrintable(run.report()));
        auto view = slideShowView(run);
        QVERIFY(view);
        QCOMPARE(view->count, QStringLiteral("5"));
        QCOMPARE(view->names, (QStringList{QStringLiteral("1 good.jpg"), QStringLiteral("2 big.jpg"),
                                           QStringLiteral("3 half.jpg"), QStringLiteral("4 gone.jpg"),
                                           QStringLiteral("5 after.jpg")}));
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::DeactivateButton));
        QVERIFY2(run.waitForCaption(QStringLiteral("Program Is Currently Not Active"), 3000),
                 qPrintable(run.report()));
        QVERIFY(run.tilecast->isRunning());
    }

    // The messenger dies in the middle of the show: the watchdog brings the
    // splash back within about a second, which then says why and ends.
    void messengerKilledMidShow()
    {
        TILECAST_REQUIRE_DESKTOP();
        const QByteArray folder = QFile::encodeName(m_work.path()) + "/killed";
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        for (const char* name : {"a.jpg", "b.gif", "c.bmp"})
            QVERIFY(makePicture(folder + '/' + name));

        TilecastUnderTest run;
        auto main = startBoth(run, QFile::decodeName(folder));
        QVERIFY2(main, qPrintable(run.report()));
        QVERIFY(addFiles(*main, 3));
        QVERIFY(waitForCount(run, 3));
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ActivateButton));
        QVERIFY(QTest::qWaitFor([] { return StandInProcess::receivedPictures().size() >= 1; }, 5000));

        QVERIFY(run.messenger.signal(SIGKILL));
        QElapsedTimer clock;
        clock.start();
        QVERIFY2(run.shownWindow(TilecastUnderTest::splashSize(), 5000), qPrintable(run.report()));
        const qint64 back = clock.elapsed();
        qInfo("splash back %lld ms after the messenger was killed", back);
        QVERIFY2(back < 3000, qPrintable(QString::number(back)));
        QVERIFY(run.noWindowShown(TilecastUnderTest::mainSize(), 3000));
        QVERIFY2(run.waitForCaption(QStringLiteral("Please sign into MSN Messenger."), 6000),
                 qPrintable(run.report()));
        QVERIFY2(run.tilecast->waitForExit(8000), qPrintable(run.report()));
        QCOMPARE(run.tilecast->exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.tilecast->exitCode(), 0);
    }

    // How often the stand-in has been called with `method`.
    static uint callsOf(const QString& method)
    {
        const QDBusMessage reply = StandInProcess::control(QStringLiteral("Calls"));
        QMap<QString, uint> counts;
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            reply.arguments().first().value<QDBusArgument>() >> counts;
        return counts.value(method);
    }

    void messengerHungMidShow_data()
    {
        QTest::addColumn<QString>("stopAfter"); // the call the messenger answers last
        // The watchdog's read is then the first call to hang.
        QTest::newRow("after a picture") << contract::SetMyProperty;
        // A picture is then the first call to hang, and the watchdog's read follows it.
        QTest::newRow("after a sign-in read") << contract::MySigninName;
    }

    // The messenger hangs (SIGSTOP) in the middle of the show. Every call
    // gives up after the program's time-out, so the window freezes for
    // seconds, not for the bus's 25; the watchdog returns to the splash, and
    // once the messenger answers again a fresh main window opens.
    void messengerHungMidShow()
    {
        QFETCH(QString, stopAfter);
        TILECAST_REQUIRE_DESKTOP();
        const QByteArray folder = QFile::encodeName(m_work.path()) + "/hung " + QTest::currentDataTag();
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        for (const char* name : {"a.jpg", "b.gif", "c.bmp", "d.jpg", "e.jpg", "f.jpg", "g.jpg", "h.jpg"})
            QVERIFY(makePicture(folder + '/' + name));

        TilecastUnderTest run;
        auto main = startBoth(run, QFile::decodeName(folder));
        QVERIFY2(main, qPrintable(run.report()));
        FreezeProbe probe;
        QString why;
        QVERIFY2(probe.attach(run.tilecast->pid(), &why), qPrintable(why));
        QVERIFY(addFiles(*main, 8));
        QVERIFY(waitForCount(run, 8));
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ActivateButton));
        QVERIFY(QTest::qWaitFor([] { return StandInProcess::receivedPictures().size() >= 2; }, 5000));
        const qint64 before = probe.longestWait([] { return false; }, 1000);

        const uint calls = callsOf(stopAfter);
        QVERIFY(QTest::qWaitFor([&] { return callsOf(stopAfter) > calls; }, 3000));
        QVERIFY(run.messenger.signal(SIGSTOP));
        QElapsedTimer clock;
        clock.start();
        qint64 splashAt = -1;
        const qint64 freeze = probe.longestWait(
            [&] {
                if (splashAt < 0 && run.shownWindow(TilecastUnderTest::splashSize(), 0))
                    splashAt = clock.elapsed();
                return splashAt >= 0 && clock.elapsed() > splashAt + 500;
            },
            20000);
        QVERIFY(run.messenger.signal(SIGCONT));
        qInfo("longest wait for the window to answer: %lld ms before the hang, %lld ms during it; "
              "splash back after %lld ms",
              before, freeze, splashAt);
        QVERIFY2(splashAt >= 0, qPrintable(run.report()));
        QVERIFY2(freeze >= 0, "the window never answered");
        // One call's time-out, with room for a loaded machine; the bus's own
        // default would be 25 s.
        QVERIFY2(freeze < contract::CallTimeoutMs + 2000, qPrintable(QString::number(freeze)));

        main = run.shownWindow(TilecastUnderTest::mainSize(), 10000);
        QVERIFY2(main, qPrintable(run.report()));
        QVERIFY(run.waitForCaption(QStringLiteral("alice@localhost"), 5000));
        QVERIFY(waitForCount(run, 0));
        QVERIFY(run.tilecast->isRunning());
    }

    // The messenger refuses a picture once: the error line shows, the slide
    // show is kept, and Deactivate then Activate runs it again. A failed
    // sign-in read sends the program back to the splash, and it comes back.
    void messengerAnswersWithErrors()
    {
        TILECAST_REQUIRE_DESKTOP();
        const QByteArray folder = QFile::encodeName(m_work.path()) + "/errors";
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        for (const char* name : {"a.jpg", "b.gif", "c.bmp"})
            QVERIFY(makePicture(folder + '/' + name));
        const QString dir = QFile::decodeName(folder);

        TilecastUnderTest run;
        auto main = startBoth(run, dir);
        QVERIFY2(main, qPrintable(run.report()));
        QVERIFY(addFiles(*main, 3));
        QVERIFY(waitForCount(run, 3));
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ActivateButton));
        QVERIFY(QTest::qWaitFor([] { return StandInProcess::receivedPictures().size() >= 1; }, 5000));
        QCOMPARE(StandInProcess::control(
                     QStringLiteral("FailNext"),
                     {contract::SetMyProperty, contract::error::Failed, QStringLiteral("busy")})
                     .type(),
                 QDBusMessage::ReplyMessage);
        QVERIFY(QTest::qWaitFor([] { return StandInProcess::receivedPictures().size() >= 2; }, 5000));
        QTest::qWait(1500);
        QCOMPARE(StandInProcess::receivedPictures(),
                 (QStringList{dir + QStringLiteral("/a.jpg"), dir + QStringLiteral("/b.gif")}));
        QCOMPARE(displayPicture(), dir + QStringLiteral("/a.jpg"));

        main = restore(run, *main);
        QVERIFY2(main, qPrintable(run.report()));
        QVERIFY(run.waitForCaption(ErrorLine, 3000));
        QVERIFY(waitForCount(run, 3));
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::DeactivateButton));
        QVERIFY(run.waitForCaption(QStringLiteral("Program Is Currently Not Active"), 3000));
        StandInProcess::control(QStringLiteral("ClearReceivedPictures"));
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ActivateButton));
        QVERIFY2(QTest::qWaitFor([] { return StandInProcess::receivedPictures().size() >= 3; }, 6000),
                 qPrintable(run.report()));
        QCOMPARE(StandInProcess::receivedPictures().mid(0, 3),
                 (QStringList{dir + QStringLiteral("/a.jpg"), dir + QStringLiteral("/b.gif"),
                              dir + QStringLiteral("/c.bmp")}));

        // One failed read of the sign-in: the main window and its slide show
        // go (the watchdog's rule), the splash finds the account and reopens it.
        QCOMPARE(StandInProcess::control(QStringLiteral("FailNext"),
                                         {contract::MySigninName,
                                          QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                          QStringLiteral("hiccup")})
                     .type(),
                 QDBusMessage::ReplyMessage);
        QVERIFY2(run.shownWindow(TilecastUnderTest::splashSize(), 4000), qPrintable(run.report()));
        QVERIFY2(run.shownWindow(TilecastUnderTest::mainSize(), 8000), qPrintable(run.report()));
        QVERIFY(waitForCount(run, 0));
        QVERIFY(run.tilecast->isRunning());
    }

    // The messenger ends and a new one starts under another account while
    // the splash waits: the main window reopens with the new name. An
    // account switch while the show runs keeps the show going.
    void messengerRestartedAsAnotherAccount()
    {
        TILECAST_REQUIRE_DESKTOP();
        const QByteArray folder = QFile::encodeName(m_work.path()) + "/restart";
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        for (const char* name : {"a.jpg", "b.gif"})
            QVERIFY(makePicture(folder + '/' + name));

        TilecastUnderTest run;
        auto main = startBoth(run, QFile::decodeName(folder));
        QVERIFY2(main, qPrintable(run.report()));
        run.messenger.stop();
        QVERIFY2(run.shownWindow(TilecastUnderTest::splashSize(), 3000), qPrintable(run.report()));
        QVERIFY(run.startMessenger({QStringLiteral("--account"), QStringLiteral("bob@localhost")}));
        main = run.shownWindow(TilecastUnderTest::mainSize(), 8000);
        QVERIFY2(main, qPrintable(run.report()));
        QVERIFY2(run.waitForCaption(QStringLiteral("bob@localhost"), 5000), qPrintable(run.report()));

        QVERIFY(addFiles(*main, 2));
        QVERIFY(waitForCount(run, 2));
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ActivateButton));
        QVERIFY(QTest::qWaitFor([] { return StandInProcess::receivedPictures().size() >= 1; }, 5000));
        QCOMPARE(
            StandInProcess::control(QStringLiteral("SignInAs"), {QStringLiteral("carol@localhost")}).type(),
            QDBusMessage::ReplyMessage);
        StandInProcess::control(QStringLiteral("ClearReceivedPictures"));
        QVERIFY(QTest::qWaitFor([] { return StandInProcess::receivedPictures().size() >= 2; }, 5000));
        QVERIFY(!run.shownWindow(TilecastUnderTest::splashSize(), 0));
        QVERIFY(run.tilecast->isRunning());
    }

    // No system tray: Activate still minimises and the show runs; the window
    // comes back through the window manager. Run by
    // test_hardening_desktop_no_tray in a desktop without a tray.
    void noTrayHost()
    {
        if (desktopHasTray())
            QSKIP("needs a desktop without a tray (ctest runs it as test_hardening_desktop_no_tray)");
        TILECAST_REQUIRE_DESKTOP(testsupport::DesktopNeeds{true, true, false});
        const QByteArray folder = QFile::encodeName(m_work.path()) + "/no-tray";
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        for (const char* name : {"a.jpg", "b.gif"})
            QVERIFY(makePicture(folder + '/' + name));

        TilecastUnderTest run;
        auto main = startBoth(run, QFile::decodeName(folder));
        QVERIFY2(main, qPrintable(run.report()));
        QVERIFY(addFiles(*main, 2));
        QVERIFY(waitForCount(run, 2));
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ActivateButton));
        QVERIFY2(QTest::qWaitFor([] { return StandInProcess::receivedPictures().size() >= 2; }, 5000),
                 qPrintable(run.report()));
        QVERIFY(run.noWindowShown(TilecastUnderTest::mainSize(), 3000));
        main = restore(run, *main);
        QVERIFY2(main, qPrintable(run.report()));
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::DeactivateButton));
        QVERIFY(run.waitForCaption(QStringLiteral("Program Is Currently Not Active"), 3000));
        QVERIFY(run.tilecast->isRunning());
        QVERIFY2(run.tilecast->standardError().isEmpty(), qPrintable(run.report())); // quietly
    }

    // No window manager: nothing minimises the window, it stays in view, the
    // show runs, and Deactivate and Activate still work. Run by
    // test_hardening_desktop_no_wm in a desktop without a window manager.
    void noWindowManager()
    {
        if (desktopHasWindowManager())
            QSKIP("needs a desktop without a window manager (ctest runs it as test_hardening_desktop_no_wm)");
        const QByteArray folder = QFile::encodeName(m_work.path()) + "/no-wm";
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        for (const char* name : {"a.jpg", "b.gif"})
            QVERIFY(makePicture(folder + '/' + name));

        TilecastUnderTest run;
        auto main = startBoth(run, QFile::decodeName(folder));
        QVERIFY2(main, qPrintable(run.report()));
        QVERIFY(addFiles(*main, 2));
        QVERIFY(waitForCount(run, 2));
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ActivateButton));
        QVERIFY2(QTest::qWaitFor([] { return StandInProcess::receivedPictures().size() >= 2; }, 5000),
                 qPrintable(run.report()));
        main = run.shownWindow(TilecastUnderTest::mainSize(), 2000);
        QVERIFY2(main, "without a window manager the window stays where it was");
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::DeactivateButton));
        QVERIFY(run.waitForCaption(QStringLiteral("Program Is Currently Not Active"), 3000));
        StandInProcess::control(QStringLiteral("ClearReceivedPictures"));
        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ActivateButton));
        QVERIFY2(QTest::qWaitFor([] { return StandInProcess::receivedPictures().size() >= 1; }, 5000),
                 qPrintable(run.report()));
        QVERIFY(run.tilecast->isRunning());
        QVERIFY2(run.tilecast->standardError().isEmpty(), qPrintable(run.report())); // quietly
    }
};

QTEST_MAIN(TestHardeningDesktop)
#include "test_hardening_desktop.moc"
