// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QImage>
#include <QtTest>

#include <algorithm>

#include "messenger/MessengerLink.h"
#include "messenger/PidginMessenger.h"
#include "support/A11yTree.h"
#include "support/DesktopSession.h"
#include "support/ProcessUnderTest.h"
#include "support/ProgramTexts.h"
#include "support/TilecastUnderTest.h"
#include "support/XWindows.h"
#include "XmppObserver.h"

using namespace Qt::StringLiterals;
using testsupport::A11yTree;
using testsupport::XWindow;
using testsupport::XWindows;

namespace {

using testsupport::ErrorLine;

// Which of `pictures` an avatar shows: the nearest by a small thumbnail, so that Pidgin's
// conversion (to PNG, scaled to its size limits) does not matter.
QString closestPicture(const QImage& avatar, const QMap<QString, QImage>& pictures, double* distance)
{
    const auto thumbnail = [](const QImage& image) {
        return image.convertToFormat(QImage::Format_RGB32)
            .scaled(12, 12, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    const QImage seen = thumbnail(avatar);
    QString best;
    *distance = 1e9;
    for (auto it = pictures.begin(); it != pictures.end(); ++it) {
        const QImage candidate = thumbnail(it.value());
        double sum = 0;
        for (int y = 0; y < seen.height(); ++y)
            for (int x = 0; x < seen.width(); ++x) {
                const QRgb a = seen.pixel(x, y);
                const QRgb b = candidate.pixel(x, y);
                sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                       std::abs(qBlue(a) - qBlue(b));
            }
        const double mean = sum / (seen.width() * seen.height() * 3);
        if (mean < *distance) {
            *distance = mean;
            best = it.key();
        }
    }
    return best;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

} // namespace

// Tilecast shares Pidgin's private bus, where nobody announces an accessibility bus; this
// announces the desktop's, so that Tilecast's widgets show up where the test reads them.
class A11yBusRelay : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.a11y.Bus")
public:
    explicit A11yBusRelay(QString address) : m_address(std::move(address)) {}

public Q_SLOTS:
    QString GetAddress() const { return m_address; }

private:
    QString m_address;
};

// Tilecast with the real Pidgin, signed in to a local Prosody, as alice's contact bob sees
// it. Run through scripts/pidgin-world inside scripts/desktop-session. The functions run in
// order, each continuing where the one before left off.
class TestPidginEndToEnd : public QObject
{
    Q_OBJECT

    QDBusConnection m_world{QString()};
    std::unique_ptr<XmppObserver> m_bob;
    QTemporaryDir m_folder;
    QStringList m_names; // the slide show's pictures, in file-list order
    QMap<QString, QImage> m_pictures;
    QMap<QString, QString> m_hashOf; // picture name -> avatar hash bob saw
    std::unique_ptr<A11yBusRelay> m_a11yRelay;
    std::unique_ptr<testsupport::ProcessUnderTest> m_tilecast;
    std::optional<XWindow> m_main;

    static QString world(const char* name)
    {
        return qEnvironmentVariable(QByteArray("PIDGIN_WORLD_") + name);
    }

    QDBusMessage purple(const QString& method, const QList<QVariant>& args = {}) const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(PidginMessenger::Service, PidginMessenger::Path,
                                                           PidginMessenger::Interface, method);
        call.setArguments(args);
        return m_world.call(call, QDBus::Block, 3000);
    }

    QString report() const
    {
        return (m_tilecast ? m_tilecast->report() : QString()) + u"\nbob received:\n"_s +
               (m_bob ? m_bob->transcript() : QString());
    }

    std::optional<A11yTree::Node> waitForTree(const std::function<bool(const A11yTree::Node&)>& predicate,
                                              int timeoutMs) const
    {
        QString error;
        auto tree = A11yTree::waitFor(m_tilecast->pid(), predicate, timeoutMs, &error);
        if (!tree)
            qWarning("%s", qPrintable(error));
        return tree;
    }

    // Waits for bob to see the next picture, and checks it is the one he can download.
    QString waitForAvatarChange(int changesBefore, int timeoutMs)
    {
        if (!QTest::qWaitFor([&] { return m_bob->photoChanges().size() > changesBefore; }, timeoutMs))
            return {};
        const QString hash = m_bob->photoChanges().at(changesBefore).hash;
        QString error;
        const std::optional<QByteArray> data = m_bob->fetchAvatar(hash, 3000, &error);
        if (!data) {
            qWarning("%s", qPrintable(error));
            return {};
        }
        if (QCryptographicHash::hash(*data, QCryptographicHash::Sha1).toHex() != hash.toLatin1()) {
            qWarning("the avatar's bytes do not match the hash %s", qPrintable(hash));
            return {};
        }
        const QImage avatar = QImage::fromData(*data);
        double distance = 0;
        const QString shown = closestPicture(avatar, m_pictures, &distance);
        qInfo("bob sees %s: %s (%dx%d, %lld bytes, thumbnail distance %.1f)", qPrintable(hash),
              qPrintable(shown), avatar.width(), avatar.height(), qlonglong(data->size()), distance);
        return distance < 24 ? shown : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        TILECAST_REQUIRE_DESKTOP(testsupport::DesktopNeeds{true, true, false});
        QVERIFY2(!world("BUS").isEmpty(), "run through scripts/pidgin-world");
        m_world = QDBusConnection::connectToBus(world("BUS"), u"pidgin-world"_s);
        QVERIFY2(m_world.isConnected(), qPrintable(m_world.lastError().message()));

        m_bob = std::make_unique<XmppObserver>(world("ALICE"));
        QString error;
        const QString server = world("XMPP");
        QVERIFY2(m_bob->connectTo(server.section(u':', 0, 0), server.section(u':', 1).toUShort(),
                                  world("BOB"), world("BOB_PASSWORD"), 5000, &error),
                 qPrintable(error));
        QTRY_VERIFY2_WITH_TIMEOUT(m_bob->contactOnline(), qPrintable(m_bob->transcript()), 5000);
        // Nothing set yet: alice starts without a picture.
        QTRY_COMPARE_WITH_TIMEOUT(m_bob->photo(), std::optional<QString>(QString()), 2000);

        // Three pictures of the kinds the file list shows (one larger than Pidgin's limit for
        // XMPP, so it gets scaled), and a fourth that will be gone when its turn comes.
        QVERIFY(m_folder.isValid());
        const QString samples = QStringLiteral(TILECAST_SOURCE_DIR "/resources/samples/");
        m_names = {u"1 aurora.jpg"_s, u"2 tiles.gif"_s, u"3 sunset.bmp"_s, u"4 robot.gif"_s};
        QVERIFY(QImage(samples + u"aurora.jpg"_s)
                    .scaled(240, 180, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .save(m_folder.filePath(m_names[0]), "JPEG", 90));
        QVERIFY(QFile::copy(samples + u"tiles.gif"_s, m_folder.filePath(m_names[1])));
        QVERIFY(QFile::copy(samples + u"sunset.bmp"_s, m_folder.filePath(m_names[2])));
        QVERIFY(QFile::copy(samples + u"robot.gif"_s, m_folder.filePath(m_names[3])));
        for (const QString& name : m_names) {
            const QImage image(m_folder.filePath(name));
            QVERIFY2(!image.isNull(), qPrintable(name));
            m_pictures.insert(name, image);
        }
    }

    void signsInThroughPidgin()
    {
        QDBusMessage address = QDBusMessage::createMethodCall(u"org.a11y.Bus"_s, u"/org/a11y/bus"_s,
                                                              u"org.a11y.Bus"_s, u"GetAddress"_s);
        const QDBusReply<QString> a11y = QDBusConnection::sessionBus().call(address, QDBus::Block, 3000);
        QVERIFY2(a11y.isValid(), qPrintable(a11y.error().message()));
        m_a11yRelay = std::make_unique<A11yBusRelay>(a11y.value());
        QVERIFY(
            m_world.registerObject(u"/org/a11y/bus"_s, m_a11yRelay.get(), QDBusConnection::ExportAllSlots));
        QVERIFY(m_world.registerService(u"org.a11y.Bus"_s));

        m_tilecast = std::make_unique<testsupport::ProcessUnderTest>(QStringLiteral(TILECAST_BIN));
        m_tilecast->setWorkingDirectory(m_folder.path());
        m_tilecast->setEnv(u"DBUS_SESSION_BUS_ADDRESS"_s, world("BUS"));
        m_tilecast->setEnv(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s);
        QVERIFY2(m_tilecast->start(), qPrintable(m_tilecast->report()));

        m_main = XWindows::waitFor(
            [](const XWindow& w) { return w.shown() && w.geometry.size() == TilecastUnderTest::mainSize(); },
            10000, m_tilecast->pid());
        QVERIFY2(m_main, qPrintable(report()));
        // "My Signin Name": the account's address, without Pidgin's resource.
        QVERIFY2(
            waitForTree([](const A11yTree::Node& n) { return n.findByName(u"alice@localhost"_s); }, 5000),
            qPrintable(report()));
    }

    void slideShowChangesTheAvatarInOrder()
    {
        QVERIFY(m_main);
        // The file list has the focus: its four entries go into the slide show, from the top.
        QVERIFY(TilecastUnderTest::keys(*m_main, {u"Home"_s, u"Return"_s, u"Down"_s, u"Return"_s, u"Down"_s,
                                                  u"Return"_s, u"Down"_s, u"Return"_s}));
        const auto slideShowHoldsAll = [this](const A11yTree::Node& root) {
            const auto lists = root.findAll([](const A11yTree::Node& n) {
                return n.role == u"list"_s && n.name == u"Images In Slide Show:"_s;
            });
            if (lists.isEmpty())
                return false;
            QStringList entries;
            for (const A11yTree::Node& item : lists.first()->children)
                entries << item.name;
            return entries == m_names;
        };
        const auto tree = waitForTree(slideShowHoldsAll, 5000);
        QVERIFY2(tree, qPrintable(report()));
        // The fourth picture goes away while in the slide show.
        QVERIFY(QFile::remove(m_folder.filePath(m_names[3])));

        const int before = m_bob->photoChanges().size();
        QVERIFY(TilecastUnderTest::clickControl(*m_main, TilecastUnderTest::ActivateButton));
        for (int k = 0; k < 3; ++k) {
            const QString shown = waitForAvatarChange(before + k, 4000);
            QVERIFY2(shown == m_names[k],
                     qPrintable(u"picture %1: bob sees \"%2\"\n"_s.arg(k + 1).arg(shown) + report()));
            m_hashOf.insert(shown, m_bob->photoChanges().at(before + k).hash);
        }
        const auto& changes = m_bob->photoChanges();
        qInfo("bob saw the three pictures %lld ms and %lld ms apart",
              qlonglong(changes.at(before + 1).atMs - changes.at(before).atMs),
              qlonglong(changes.at(before + 2).atMs - changes.at(before + 1).atMs));
    }

    // Pidgin, given a path it cannot load, would clear alice's picture.
    void deletedPictureLeavesTheAvatarAlone()
    {
        QVERIFY(m_hashOf.size() == 3);
        const int changes = m_bob->photoChanges().size();
        QVERIFY2(waitForTree([](const A11yTree::Node& n) { return n.findByName(ErrorLine); }, 4000),
                 qPrintable(report()));
        // Pidgin sends a change within milliseconds; give it ample time to show one.
        QTest::qWait(1000);
        QCOMPARE(m_bob->photoChanges().size(), changes);
        QCOMPARE(m_bob->photo(), std::optional<QString>(m_hashOf.value(m_names[2])));
        const QDBusMessage pref = purple(u"PurplePrefsGetPath"_s, {PidginMessenger::BuddyIconPref});
        QCOMPARE(pref.arguments().value(0).toString(), m_folder.filePath(m_names[2]));
    }

    // Not a pass mark: what one apply costs through Pidgin, from Tilecast's call to bob
    // seeing the new picture. Each picture must come out as it did in the slide show.
    void applyTimeThroughPidgin()
    {
        QVERIFY(m_hashOf.size() == 3);
        MessengerLink link([this] { return PidginMessenger::create(m_world); });
        QList<double> callMs, seenMs;
        for (int i = 0; i < 9; ++i) {
            const QString name = m_names[i % 3];
            const int before = m_bob->photoChanges().size();
            QSignalSpy seen(m_bob.get(), &XmppObserver::photoChanged);
            const qint64 start = m_bob->elapsedMs();
            QElapsedTimer clock;
            clock.start();
            const Status applied = link.applyDisplayPicture(m_folder.filePath(name));
            callMs << clock.nsecsElapsed() / 1e6;
            QVERIFY2(applied.ok(), qPrintable(applied.failure()));
            QVERIFY2(!seen.isEmpty() || seen.wait(3000), qPrintable(report()));
            seenMs << double(m_bob->photoChanges().at(before).atMs - start);
            QCOMPARE(m_bob->photoChanges().at(before).hash, m_hashOf.value(name));
        }
        qInfo("per apply through Pidgin (9 applies): call %.1f ms median, %.1f ms max; "
              "bob sees it %.1f ms median, %.1f ms max after the call began",
              median(callMs), *std::max_element(callMs.begin(), callMs.end()), median(seenMs),
              *std::max_element(seenMs.begin(), seenMs.end()));
    }

    void quittingPidginReturnsToTheSplash()
    {
        QVERIFY(m_tilecast && m_tilecast->isRunning());
        // As the buddy list's Quit does; Pidgin may be gone before it answers.
        QDBusMessage quit = QDBusMessage::createMethodCall(PidginMessenger::Service, PidginMessenger::Path,
                                                           PidginMessenger::Interface, u"PurpleCoreQuit"_s);
        m_world.call(quit, QDBus::NoBlock);
        QTRY_VERIFY_WITH_TIMEOUT(!m_bob->contactOnline(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_world.interface()->isServiceRegistered(PidginMessenger::Service).value(),
                                 5000);

        const auto splash = XWindows::waitFor(
            [](const XWindow& w) {
                return w.shown() && w.geometry.size() == TilecastUnderTest::splashSize();
            },
            5000, m_tilecast->pid());
        QVERIFY2(splash, qPrintable(report()));
        QList<XWindow> last;
        QVERIFY2(XWindows::waitUntil(
                     [](const QList<XWindow>& windows) {
                         return std::none_of(windows.begin(), windows.end(), [](const XWindow& w) {
                             return w.shown() && w.geometry.size() == TilecastUnderTest::mainSize();
                         });
                     },
                     3000, m_tilecast->pid(), &last),
                 qPrintable(XWindows::dump(last)));
    }
};

QTEST_MAIN(TestPidginEndToEnd)
#include "test_pidgin_e2e.moc"
