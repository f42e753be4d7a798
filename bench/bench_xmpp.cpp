// SPDX-License-Identifier: GPL-3.0-or-later
// tilecast-xmpp against the local Prosody of scripts/xmpp-world: how long one apply takes
// from the contract call (as Tilecast makes it) to alice's contact bob being notified, and
// what the program costs while it sits signed in: resident memory and wake-ups per second.
// Then, against a misbehaving server (tests/xmpp/hostile_server.py), the most memory it takes
// when the account's own picture is large or slow, and when the server floods it.
//
//   scripts/xmpp-world -- dbus-run-session -- bench_xmpp --bridge PATH --observer PATH
//       --hostile PATH [--applies N] [--idle-seconds S]
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#include "contract/MessengerContract.h"
#include "Figure.h"

namespace {

QString world(const char* name)
{
    return qEnvironmentVariable(QByteArray("XMPP_WORLD_") + name);
}

// Context switches of each thread of `pid`, by thread id: they are counted per thread.
QHash<QString, qint64> taskSwitches(qint64 pid)
{
    QHash<QString, qint64> switches;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(task + QStringLiteral("/status")));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                switches[task] += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return switches;
}

// The switches between two snapshots: a thread that ended in between (the picture thread
// ends when idle) takes its count with it, so only threads seen at the end count.
qint64 switchesBetween(const QHash<QString, qint64>& before, const QHash<QString, qint64>& after)
{
    qint64 total = 0;
    for (auto it = after.begin(); it != after.end(); ++it)
        total += it.value() - before.value(it.key(), 0);
    return total;
}

qint64 statusKiB(qint64 pid, const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

qint64 rssKiB(qint64 pid)
{
    return statusKiB(pid, "VmRSS");
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

// Starts tilecast-xmpp signed in to alice's account at `server` (host:port), with its
// settings and data under `home`.
void startBridge(QProcess& bridge, const QString& bridgePath, const QString& home, const QString& server,
                 const QString& passwordFile)
{
    bridge.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    bridge.setProcessEnvironment(environment);
    bridge.start(bridgePath,
                 {QStringLiteral("--jid"), world("ALICE"), QStringLiteral("--server"), server,
                  QStringLiteral("--ca-file"), world("CA"), QStringLiteral("--password-file"), passwordFile});
}

struct Options
{
    QString bridge, observer, hostile;
    int applies = 60, idleSeconds = 30;
};

// ---- applies and idle, against Prosody --------------------------------------------------

// The observer (bob, watching alice's avatar): each line it prints, with when it came.
class Observer
{
public:
    Observer()
    {
        m_clock.start();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            while (m_process.canReadLine())
                events.append(
                    {m_clock.nsecsElapsed(), QJsonDocument::fromJson(m_process.readLine()).object()});
        });
    }
    ~Observer()
    {
        m_process.closeWriteChannel();
        m_process.terminate();
        m_process.waitForFinished(3000);
    }

    bool start(const QString& script)
    {
        const QString server = world("XMPP");
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {script, server.section(u':', 0, 0), server.section(u':', 1), world("CA"),
                         world("ALICE"), world("ALICE_PASSWORD"), world("BOB"), world("BOB_PASSWORD")});
        return waitFor([&] { return !events.isEmpty(); }, 20000);
    }

    qint64 nowNs() const { return m_clock.nsecsElapsed(); }

    QList<QPair<qint64, QJsonObject>> events; // arrival (ns since start), event

private:
    QElapsedTimer m_clock;
    QProcess m_process;
};

// Four pictures, each a different avatar, so every apply is a real change.
QStringList makePictures(const QTemporaryDir& home)
{
    QStringList pictures;
    for (int i = 0; i < 4; ++i) {
        QImage image(320, 240, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 90, 200, 220));
        pictures << home.filePath(QStringLiteral("picture-%1.jpg").arg(i));
        image.save(pictures.last(), "JPEG", 90);
    }
    return pictures;
}

// One apply through the contract: when its call was answered and when bob was notified (ns
// on the observer's clock), or nullopt when either did not come.
std::optional<QPair<qint64, qint64>> applyOnce(Observer& observer, const QString& picture)
{
    QDBusMessage call = QDBusMessage::createMethodCall(contract::Service, contract::Path, contract::Interface,
                                                       contract::SetMyProperty);
    call.setArguments({contract::UserTilePath, QVariant::fromValue(QDBusVariant(picture))});
    const qsizetype before = observer.events.size();
    qint64 replied = 0;
    QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(call, contract::CallTimeoutMs));
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&] { replied = observer.nowNs(); });
    qint64 notified = 0;
    const bool ok = waitFor(
        [&] {
            for (qsizetype k = before; k < observer.events.size() && !notified; ++k)
                if (observer.events.at(k).second.value(QStringLiteral("event")) == QStringLiteral("notify") &&
                    observer.events.at(k).second.value(QStringLiteral("as")) == QStringLiteral("bob"))
                    notified = observer.events.at(k).first;
            return notified && replied;
        },
        5000);
    if (!ok || watcher.isError()) {
        std::fprintf(stderr, "apply of %s failed: %s\n", qPrintable(picture),
                     qPrintable(watcher.error().message()));
        return std::nullopt;
    }
    return QPair<qint64, qint64>{replied, notified};
}

bool measureApplies(Observer& observer, const QStringList& pictures, int applies)
{
    std::vector<double> callMs, notifiedMs;
    for (int i = -2; i < applies; ++i) { // the first two warm up (the saved copy, the feature query)
        const qint64 start = observer.nowNs();
        const auto times = applyOnce(observer, pictures.at((i + 4) % 4));
        if (!times)
            return false;
        if (i >= 0) {
            callMs.push_back((times->first - start) / 1e6);
            notifiedMs.push_back((times->second - start) / 1e6);
        }
        QTest::qWait(50); // let the observer's fetch of the data settle before the next one
    }
    const QString runs = QStringLiteral("%1 applies, Prosody on the loopback").arg(applies);
    bench::report(QStringLiteral("xmpp_apply_notified_median_ms"),
                  QStringLiteral("XMPP: apply to bob's notification, median"), bench::median(notifiedMs),
                  QStringLiteral("ms"), {}, runs);
    bench::report(QStringLiteral("xmpp_apply_notified_p99_ms"),
                  QStringLiteral("XMPP: apply to bob's notification, p99"),
                  bench::percentile(notifiedMs, 0.99), QStringLiteral("ms"), {}, runs);
    bench::report(QStringLiteral("xmpp_apply_call_median_ms"),
                  QStringLiteral("XMPP: contract call answered, median"), bench::median(callMs),
                  QStringLiteral("ms"), {QStringLiteral("<"), 2500}, runs);
    return true;
}

// Idle while signed in: nothing applied, the connection just held.
void measureIdle(qint64 pid, int idleSeconds)
{
    QTest::qWait(2000);
    const QHash<QString, qint64> switchesBefore = taskSwitches(pid);
    QElapsedTimer idle;
    idle.start();
    std::vector<double> rss;
    while (idle.elapsed() < idleSeconds * 1000) {
        rss.push_back(double(rssKiB(pid)) / 1024.0);
        QTest::qWait(1000);
    }
    const double wakeups =
        double(switchesBetween(switchesBefore, taskSwitches(pid))) / (idle.elapsed() / 1000.0);
    bench::report(QStringLiteral("xmpp_idle_rss_mib"), QStringLiteral("XMPP: tilecast-xmpp idle RSS"),
                  bench::median(rss), QStringLiteral("MiB"), {},
                  QStringLiteral("signed in, median of %1 samples").arg(rss.size()));
    bench::report(QStringLiteral("xmpp_idle_wakeups_per_s"),
                  QStringLiteral("XMPP: tilecast-xmpp idle wake-ups"), wakeups, QStringLiteral("/s"),
                  {QStringLiteral("<="), 1},
                  QStringLiteral("context switches of all threads over %1 s").arg(idleSeconds));
}

bool appliesAndIdle(const Options& o, const QTemporaryDir& home, const QString& passwordFile)
{
    Observer observer;
    if (!observer.start(o.observer)) {
        std::fprintf(stderr, "the observer did not come up\n");
        return false;
    }
    QProcess bridge;
    startBridge(bridge, o.bridge, home.path(), world("XMPP"), passwordFile);
    if (!waitFor([&] { return bridge.readAllStandardOutput().contains("signed in as"); }, 10000)) {
        std::fprintf(stderr, "tilecast-xmpp did not sign in\n");
        return false;
    }
    if (!measureApplies(observer, makePictures(home), o.applies))
        return false;
    measureIdle(bridge.processId(), o.idleSeconds);
    bridge.terminate();
    bridge.waitForFinished(3000);
    return true;
}

// ---- memory, against a misbehaving server -----------------------------------------------

// How many events of a kind the hostile server has reported so far.
using EventCount = std::function<int(const QString& kind)>;

// The bridge signed in to the hostile server behaving as `behaviour`: its peak RSS (MiB) once
// `reached` holds (within `seconds`); -1 if it never did.
double hostilePeakMiB(const QString& script, const QString& bridgePath, const QString& home,
                      const QString& passwordFile, const QString& behaviour, const QStringList& serverArgs,
                      const std::function<bool(const EventCount&)>& reached, int seconds)
{
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{script, QStringLiteral("--cert"), world("CERT"), QStringLiteral("--key"),
                             world("KEY"), QStringLiteral("--domain"), world("DOMAIN"),
                             QStringLiteral("--user"), world("ALICE").section(u'@', 0, 0),
                             QStringLiteral("--password"), world("ALICE_PASSWORD"),
                             QStringLiteral("--behaviour"), behaviour} +
                     serverArgs);
    QByteArray said;
    const EventCount count = [&](const QString& kind) {
        said += server.readAllStandardOutput();
        int n = 0;
        for (const QByteArray& line : said.split('\n'))
            n += QJsonDocument::fromJson(line).object().value(QStringLiteral("event")).toString() == kind ? 1
                                                                                                          : 0;
        return n;
    };
    if (!waitFor([&] { return count(QStringLiteral("listening")) > 0; }, 20000))
        return -1;
    int port = 0;
    for (const QByteArray& line : said.split('\n'))
        port = qMax(port, QJsonDocument::fromJson(line).object().value(QStringLiteral("port")).toInt());

    QDir(home).removeRecursively();
    QProcess bridge;
    bridge.setStandardOutputFile(QProcess::nullDevice());
    startBridge(bridge, bridgePath, home, QStringLiteral("127.0.0.1:%1").arg(port), passwordFile);
    const bool ok = waitFor([&] { return reached(count); }, seconds * 1000);
    const double peak = statusKiB(bridge.processId(), "VmHWM") / 1024.0;
    bridge.terminate();
    bridge.waitForFinished(3000);
    server.kill();
    server.waitForFinished(3000);
    return ok ? peak : -1;
}

// A photo of 200 KB or so, detail everywhere.
QString makeOwnPhoto(const QTemporaryDir& home)
{
    QImage photo(520, 390, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y, qRgb((x + (x * y) % 61) % 256, (y * 3 + x % 17) % 256, ((x ^ y) * 7) % 256));
    const QString own = home.filePath(QStringLiteral("own.jpg"));
    photo.save(own, "JPEG", 97);
    return own;
}

// 50 MB that is no picture; empty when it cannot be written.
QString makeHugeFile(const QTemporaryDir& home)
{
    const QString huge = home.filePath(QStringLiteral("huge.bin"));
    QFile hugeFile(huge);
    if (!hugeFile.open(QIODevice::WriteOnly))
        return QString();
    for (int k = 0; k < 50; ++k)
        hugeFile.write(QByteArray(1024 * 1024, char('A' + k % 26)));
    return huge;
}

// The account's own picture: 200 KB of photo coming at 64 KB/s (kept), and 50 MB that the
// server announces as 100 KB (cut off at the stanza limit, again at each sign-in); then a
// server that stops reading and floods pings: answers wait, bounded, until the stream is dropped.
bool hostileMemory(const Options& o, const QTemporaryDir& home, const QString& passwordFile)
{
    const QString scratch = home.filePath(QStringLiteral("hostile"));
    const QString own = makeOwnPhoto(home);
    const QString huge = makeHugeFile(home);
    if (huge.isEmpty())
        return false;
    const QString kept = scratch + QStringLiteral("/data/tilecast/xmpp-original-avatar/") +
                         QString::fromLatin1(world("ALICE").toUtf8().toHex()) +
                         QStringLiteral("/avatar.data");
    const auto peak = [&](const QString& behaviour, const QStringList& serverArgs,
                          const std::function<bool(const EventCount&)>& reached) {
        return hostilePeakMiB(o.hostile, o.bridge, scratch, passwordFile, behaviour, serverArgs, reached, 60);
    };
    bench::report(QStringLiteral("xmpp_peak_rss_slow_own_picture_mib"),
                  QStringLiteral("XMPP: peak RSS, own picture large and slow"),
                  peak(QStringLiteral("normal"),
                       {QStringLiteral("--original"), own, QStringLiteral("--rate"), QStringLiteral("65536")},
                       [&](const EventCount&) { return QFileInfo::exists(kept); }),
                  QStringLiteral("MiB"), {QStringLiteral("<"), 64},
                  QStringLiteral("%1 KB photo at 64 KB/s, until kept").arg(QFileInfo(own).size() / 1000));
    bench::report(QStringLiteral("xmpp_peak_rss_50mb_own_picture_mib"),
                  QStringLiteral("XMPP: peak RSS, own picture of 50 MB"),
                  peak(QStringLiteral("normal"),
                       {QStringLiteral("--original"), huge, QStringLiteral("--declare-bytes"),
                        QStringLiteral("100000")},
                       [](const EventCount& count) { return count(QStringLiteral("closed")) >= 2; }),
                  QStringLiteral("MiB"), {QStringLiteral("<"), 64},
                  QStringLiteral("announced as 100 KB; two streams cut off at the stanza limit"));
    bench::report(QStringLiteral("xmpp_peak_rss_ping_flood_mib"),
                  QStringLiteral("XMPP: peak RSS, ping flood"),
                  peak(QStringLiteral("ping-flood"), {},
                       [](const EventCount& count) { return count(QStringLiteral("signed-in")) >= 3; }),
                  QStringLiteral("MiB"), {QStringLiteral("<"), 64},
                  QStringLiteral("two streams dropped, signed in a third time"));
    return true;
}

// The password in a file only its owner may read, as the program demands.
QString writePasswordFile(const QTemporaryDir& home)
{
    const QString passwordFile = home.filePath(QStringLiteral("password"));
    QFile password(passwordFile);
    if (!password.open(QIODevice::WriteOnly) || password.write(world("ALICE_PASSWORD").toUtf8() + '\n') <= 0)
        return QString();
    password.close();
    password.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return passwordFile;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(
        {{QStringLiteral("bridge"), QString(), QStringLiteral("PATH")},
         {QStringLiteral("observer"), QString(), QStringLiteral("PATH")},
         {QStringLiteral("hostile"), QString(), QStringLiteral("PATH")},
         {QStringLiteral("applies"), QString(), QStringLiteral("N"), QStringLiteral("60")},
         {QStringLiteral("idle-seconds"), QString(), QStringLiteral("S"), QStringLiteral("30")}});
    parser.process(app);
    if (world("XMPP").isEmpty() || !parser.isSet(QStringLiteral("bridge"))) {
        std::fprintf(stderr, "run inside scripts/xmpp-world, with --bridge and --observer\n");
        return 2;
    }
    const Options o{parser.value(QStringLiteral("bridge")), parser.value(QStringLiteral("observer")),
                    parser.value(QStringLiteral("hostile")), parser.value(QStringLiteral("applies")).toInt(),
                    parser.value(QStringLiteral("idle-seconds")).toInt()};

    QTemporaryDir home;
    const QString passwordFile = writePasswordFile(home);
    if (passwordFile.isEmpty() || !appliesAndIdle(o, home, passwordFile) ||
        !hostileMemory(o, home, passwordFile))
        return 1;
    return 0;
}
