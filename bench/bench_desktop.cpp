// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up, memory and idle cost of the real tilecast, each measured against
// two floors started the same way in the same X session: bench_bare_text_window
// (a window like the splash with one line of text: every program that draws
// text pays for the font database, so the aims are set against this one) and
// bench_bare_window (the same window without text: the absolute limit, shown
// without an aim).
// Runs inside scripts/desktop-session, with the stand-in messenger signed in
// on its bus so that Tilecast gets past its splash.
//
// Start-up is the time from just before posix_spawn to the moment the X server
// makes the program's window viewable. This program watches the server itself
// (SubstructureNotify on the root, StructureNotify on every new top-level)
// instead of polling xwininfo or xdotool: a poll adds its own period and the
// tool's start-up to every sample, an event arrives within a fraction of a
// millisecond. "Viewable" (the window and every ancestor mapped) counts the
// same with or without a window manager: under openbox the client is mapped
// inside its frame first and is shown once the frame is mapped too.
// Mapping comes before the program has drawn anything, so the first paint is
// timed as well, from the DAMAGE extension's first report on the window.
//
// Memory is VmHWM from /proc, read a second after the window is up; idle cost
// is the CPU time and context switches of all of the process's threads, from
// /proc, over a quiet stretch with the main window open.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSize>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include "Figure.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr QSize SplashSize{324, 139};
constexpr QSize MainSize{562, 502};

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void say(const QString& line)
{
    std::fprintf(stderr, "bench_desktop: %s\n", qPrintable(line));
}

// ---- the programs under measurement -----------------------------------------------------

class Child
{
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { stop(); }

    // Starts program in folder with its output in log. Returns the time taken
    // just before the process was created, the start of every measurement.
    std::optional<Clock::time_point> start(const QString& program, const QString& folder, const QString& log)
    {
        const QByteArray path = QFile::encodeName(program);
        const QByteArray dir = QFile::encodeName(folder);
        const QByteArray logPath = QFile::encodeName(log);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.constData(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        posix_spawn_file_actions_addchdir_np(&actions, dir.constData());
        char* argv[] = {const_cast<char*>(path.constData()), nullptr};
        const Clock::time_point started = Clock::now();
        const int error = posix_spawn(&m_pid, path.constData(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            m_pid = 0;
            say(QStringLiteral("cannot start %1: %2").arg(program, QString::fromLocal8Bit(strerror(error))));
            return std::nullopt;
        }
        return started;
    }

    pid_t pid() const { return m_pid; }

    bool alive()
    {
        if (m_pid <= 0)
            return false;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = 0;
            return false;
        }
        return true;
    }

    // TERM, then KILL if it is still there after two seconds; always reaped.
    void stop()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGTERM);
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
        int status = 0;
        while (waitpid(m_pid, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_pid = 0;
    }

private:
    pid_t m_pid = 0;
};

// ---- the X server's view ----------------------------------------------------------------

class XWatch
{
public:
    ~XWatch()
    {
        if (m_c)
            xcb_disconnect(m_c);
    }

    bool connect()
    {
        m_c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_c)) {
            say(QStringLiteral("cannot connect to the X server (DISPLAY=%1)")
                    .arg(qEnvironmentVariable("DISPLAY")));
            return false;
        }
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        static const char name[] = "_NET_WM_PID";
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, sizeof name - 1, name), nullptr);
        if (!atom)
            return false;
        m_pidAtom = atom->atom;
        free(atom);

        const xcb_query_extension_reply_t* damage = xcb_get_extension_data(m_c, &xcb_damage_id);
        if (damage && damage->present) {
            // The extension answers nothing before its version is asked.
            free(xcb_damage_query_version_reply(
                m_c, xcb_damage_query_version(m_c, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
                nullptr));
            m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
        } else {
            say(QStringLiteral("no DAMAGE extension: first paints are not measured"));
        }
        return true;
    }

    bool paintsMeasured() const { return m_damageEvent >= 0; }

    // Forgets every window and event seen so far: the next wait only counts
    // what happens after this call.
    void reset()
    {
        for (const auto& [window, damage] : m_damage)
            xcb_damage_destroy(m_c, damage); // an error, ignored, if the window is gone with it
        m_damage.clear();
        free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); // a round trip
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_c))
            free(event);
        m_candidates.clear();
        m_painted.clear();
    }

    struct Shown
    {
        xcb_window_t window = 0;
        Clock::time_point at;
    };

    // Waits until a top-level window of process pid with this client size is
    // viewable; the time is when the event that made it so arrived.
    std::optional<Shown> waitShown(pid_t pid, QSize size, Clock::time_point deadline, Child& child)
    {
        std::optional<Shown> shown;
        pump(deadline, child, [&] {
            for (const xcb_window_t w : m_candidates) {
                if (matches(w, pid, size)) {
                    shown = Shown{w, m_lastArrival};
                    return true;
                }
            }
            return false;
        });
        return shown;
    }

    // Waits until something is drawn into window after it was shown, and
    // returns when that was reported. Drawing comes after mapping: the
    // program paints once the server asks it to.
    std::optional<Clock::time_point> waitPainted(xcb_window_t window, Clock::time_point deadline,
                                                 Child& child)
    {
        if (!paintsMeasured())
            return std::nullopt;
        const auto painted = [&] { return m_painted.count(window) > 0; };
        if (!painted())
            pump(deadline, child, painted);
        return painted() ? std::optional(m_painted[window]) : std::nullopt;
    }

    bool viewable(xcb_window_t window)
    {
        xcb_get_window_attributes_reply_t* a =
            xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr);
        const bool yes = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
        free(a);
        return yes;
    }

private:
    // Reads events until done() holds (asked after events that may change
    // its answer), the deadline passes or the child exits.
    template <typename Done>
    void pump(Clock::time_point deadline, Child& child, Done done)
    {
        const int fd = xcb_get_file_descriptor(m_c);
        while (Clock::now() < deadline) {
            xcb_flush(m_c);
            // Events that came in while waiting for a reply are already read from the
            // socket: poll() would not wake up for them.
            xcb_generic_event_t* event = xcb_poll_for_queued_event(m_c);
            if (!event) {
                pollfd p{fd, POLLIN, 0};
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
                if (poll(&p, 1, int(std::min<long long>(left.count(), 100)) + 1) < 0)
                    return;
                event = xcb_poll_for_event(m_c);
            }
            m_lastArrival = Clock::now();
            bool relevant = false;
            for (; event; event = xcb_poll_for_event(m_c)) {
                relevant |= take(event);
                free(event);
            }
            if (xcb_connection_has_error(m_c))
                return;
            if (relevant && done())
                return;
            if (!child.alive())
                return;
        }
    }

    // Notes new top-levels and paints; true if the event may have shown or
    // painted a window.
    bool take(const xcb_generic_event_t* event)
    {
        const int type = event->response_type & 0x7f;
        if (type == m_damageEvent) {
            const auto* e = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
            // Only drawing that can be seen counts.
            if (!m_painted.count(e->drawable) && viewable(e->drawable))
                m_painted[e->drawable] = m_lastArrival;
            return true;
        }
        switch (type) {
        case XCB_CREATE_NOTIFY: {
            const auto* e = reinterpret_cast<const xcb_create_notify_event_t*>(event);
            if (e->parent != m_root)
                return false;
            m_candidates.push_back(e->window);
            // Its own map, inside a window manager's frame, is not reported on the root.
            const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(m_c, e->window, XCB_CW_EVENT_MASK, &mask);
            // Watched from its creation, so that no early paint is missed; the first
            // report is all that is needed.
            if (paintsMeasured()) {
                const xcb_damage_damage_t damage = xcb_generate_id(m_c);
                xcb_damage_create(m_c, damage, e->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                m_damage[e->window] = damage;
            }
            return false;
        }
        case XCB_MAP_NOTIFY:
        case XCB_REPARENT_NOTIFY:
        case XCB_CONFIGURE_NOTIFY:
            return true;
        default:
            return false; // errors about windows already gone, among others
        }
    }

    bool matches(xcb_window_t window, pid_t pid, QSize size)
    {
        if (!viewable(window))
            return false;
        xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, window), nullptr);
        const bool sized = g && g->width == size.width() && g->height == size.height();
        free(g);
        if (!sized)
            return false;
        xcb_get_property_reply_t* p = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, window, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        const bool ours = p && xcb_get_property_value_length(p) == 4 &&
                          *static_cast<const uint32_t*>(xcb_get_property_value(p)) == uint32_t(pid);
        free(p);
        return ours;
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_pidAtom = 0;
    int m_damageEvent = -1;
    Clock::time_point m_lastArrival;
    std::vector<xcb_window_t> m_candidates;
    std::map<xcb_window_t, xcb_damage_damage_t> m_damage;
    std::map<xcb_window_t, Clock::time_point> m_painted;
};

// ---- /proc ------------------------------------------------------------------------------

QByteArray readProc(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A "Name:   value kB" field of /proc/PID/status; -1 if absent.
long long statusField(const QByteArray& status, const QByteArray& name)
{
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith(name) && line.size() > name.size() && line[name.size()] == ':')
            return line.mid(name.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

struct Memory
{
    long long peakKiB = -1, rssKiB = -1, anonKiB = -1, fileKiB = -1;
};

Memory memoryOf(pid_t pid)
{
    const QByteArray status = readProc(QStringLiteral("/proc/%1/status").arg(pid));
    return {statusField(status, "VmHWM"), statusField(status, "VmRSS"), statusField(status, "RssAnon"),
            statusField(status, "RssFile")};
}

struct ThreadCount
{
    QString name;
    long long voluntary = 0, involuntary = 0;
    double runNs = 0;
};

struct CpuSample
{
    Clock::time_point at;
    pid_t pid = 0;          // also the thread id of the main (UI) thread
    double statSeconds = 0; // utime + stime of the whole process, in clock ticks' resolution
    std::map<int, ThreadCount> threads;
};

CpuSample cpuOf(pid_t pid)
{
    CpuSample s;
    s.at = Clock::now();
    s.pid = pid;
    const QByteArray stat = readProc(QStringLiteral("/proc/%1/stat").arg(pid));
    // Fields after the command name, which may itself hold spaces and parentheses.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() > 12)
        s.statSeconds =
            double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString dir = tasks + QLatin1Char('/') + tid;
        const QByteArray status = readProc(dir + QStringLiteral("/status"));
        ThreadCount t;
        t.name = QString::fromUtf8(readProc(dir + QStringLiteral("/comm")).trimmed());
        t.voluntary = statusField(status, "voluntary_ctxt_switches");
        t.involuntary = statusField(status, "nonvoluntary_ctxt_switches");
        t.runNs = readProc(dir + QStringLiteral("/schedstat")).split(' ').value(0).toDouble();
        s.threads[tid.toInt()] = t;
    }
    return s;
}

struct Idle
{
    double cpuPercent = 0;     // from the threads' run time (nanoseconds)
    double statCpuPercent = 0; // the same from /proc/PID/stat (10 ms ticks)
    double wakeupsPerSecond = 0;
    double uiWakeupsPerSecond = 0; // the main thread's alone: what the program's own design costs
    QJsonArray threads;
};

// A thread's context switches over the stretch: each sleep that ends in a
// wake-up is one voluntary switch; preemptions are the involuntary ones.
Idle idleBetween(const CpuSample& a, const CpuSample& b)
{
    Idle idle;
    const double seconds = msBetween(a.at, b.at) / 1e3;
    double runNs = 0, switches = 0;
    for (const auto& [tid, after] : b.threads) {
        const auto found = a.threads.find(tid);
        const ThreadCount before = found == a.threads.end() ? ThreadCount{} : found->second;
        const double v = double(after.voluntary - before.voluntary);
        const double i = double(after.involuntary - before.involuntary);
        runNs += after.runNs - before.runNs;
        switches += v + i;
        if (tid == b.pid)
            idle.uiWakeupsPerSecond = (v + i) / seconds;
        idle.threads.append(QJsonObject{{QStringLiteral("thread"), after.name},
                                        {QStringLiteral("wakeups_per_s"), (v + i) / seconds},
                                        {QStringLiteral("cpu_ms"), (after.runNs - before.runNs) / 1e6}});
    }
    idle.cpuPercent = runNs / 1e9 / seconds * 100;
    idle.statCpuPercent = (b.statSeconds - a.statSeconds) / seconds * 100;
    idle.wakeupsPerSecond = switches / seconds;
    return idle;
}

// ---- the measurements -------------------------------------------------------------------

struct Options
{
    QString tilecast, bare, textBare, folder, logDir;
    int runs = 30, warmups = 2, memoryRuns = 5, idleSeconds = 60;
    QStringList parts{QStringLiteral("startup"), QStringLiteral("memory"), QStringLiteral("idle")};
};

struct Program
{
    QString label;
    QString path;
};

class Bench
{
public:
    explicit Bench(const Options& o) : m_o(o) {}

    bool init() { return m_x.connect(); }

    struct Launched
    {
        double shownMs = 0;
        std::optional<double> paintedMs;
    };

    // Starts program and waits until its window of this size is shown (and,
    // if asked, painted); times from spawn in ms, or nullopt if it never came.
    std::optional<Launched> launch(Child& child, const Program& p, QSize size, int timeoutMs,
                                   bool paint = false)
    {
        m_x.reset();
        const auto started = child.start(p.path, m_o.folder,
                                         m_o.logDir + QLatin1Char('/') + QFileInfo(p.path).fileName() +
                                             QStringLiteral(".log"));
        if (!started)
            return std::nullopt;
        const Clock::time_point deadline = *started + std::chrono::milliseconds(timeoutMs);
        const auto shown = m_x.waitShown(child.pid(), size, deadline, child);
        if (!shown) {
            const QString what = child.alive() ? QStringLiteral("showed no %1x%2 window within %3 ms")
                                                     .arg(size.width())
                                                     .arg(size.height())
                                                     .arg(timeoutMs)
                                               : QStringLiteral("ended before it showed a %1x%2 window")
                                                     .arg(size.width())
                                                     .arg(size.height());
            say(QStringLiteral("%1 %2 (its output is in %3)").arg(p.label, what, m_o.logDir));
            return std::nullopt;
        }
        m_lastWindow = shown->window;
        Launched times{msBetween(*started, shown->at), std::nullopt};
        if (paint) {
            if (const auto painted = m_x.waitPainted(shown->window, deadline, child))
                times.paintedMs = msBetween(*started, *painted);
        }
        return times;
    }

    // The programs of a start-up or memory comparison; [0] is tilecast.
    enum Which
    {
        Tilecast,
        Bare,
        TextBare,
        Count
    };

    bool startup(const Program* const (&programs)[Count])
    {
        std::vector<double> shown[Count], painted[Count];
        for (int run = 0; run < m_o.warmups + m_o.runs; ++run) {
            // Rotating which goes first spreads slow stretches of a shared machine over all.
            for (int k = 0; k < Count; ++k) {
                const int which = (run + k) % Count;
                Child child;
                const auto times = launch(child, *programs[which], SplashSize, 10000, true);
                child.stop();
                if (!times)
                    return false;
                if (run >= m_o.warmups) {
                    shown[which].push_back(times->shownMs);
                    if (times->paintedMs)
                        painted[which].push_back(*times->paintedMs);
                }
                pause();
            }
        }
        reportStartup(shown, painted);
        return true;
    }

    // Start-up figures: each program's times to the splash mapped and painted, and Tilecast's
    // ratios to the floors.
    void reportStartup(const std::vector<double> (&shown)[Count], const std::vector<double> (&painted)[Count])
    {
        const QString counts =
            QStringLiteral("%1 runs each, %2 warm-ups left out").arg(m_o.runs).arg(m_o.warmups);
        // Each run starts the programs back to back, so a group shares the machine's mood of the moment.
        const auto paired = [](const std::vector<double>& a, const std::vector<double>& b) {
            std::vector<double> ratios;
            for (size_t i = 0; i < a.size() && i < b.size(); ++i)
                ratios.push_back(a[i] / b[i]);
            return bench::median(ratios);
        };
        const double t = bench::median(shown[Tilecast]), b = bench::median(shown[Bare]),
                     bt = bench::median(shown[TextBare]);
        bench::report(QStringLiteral("startup.tilecast_ms"),
                      QStringLiteral("start-up: exec to splash mapped"), t, QStringLiteral("ms"), {},
                      spread(shown[Tilecast]), series(shown[Tilecast]));
        bench::report(QStringLiteral("startup.bare_text_ms"),
                      QStringLiteral("  bare window with text (floor)"), bt, QStringLiteral("ms"), {},
                      spread(shown[TextBare]), series(shown[TextBare]));
        bench::report(QStringLiteral("startup.text_ratio"), QStringLiteral("  start-up ratio to it, medians"),
                      t / bt, QStringLiteral("x"), {QStringLiteral("<="), 1.1},
                      counts + QStringLiteral("; paired runs' ratio %1x")
                                   .arg(paired(shown[Tilecast], shown[TextBare]), 0, 'f', 2));
        bench::report(QStringLiteral("startup.bare_ms"), QStringLiteral("  bare window, no text (limit)"), b,
                      QStringLiteral("ms"), {}, spread(shown[Bare]), series(shown[Bare]));
        bench::report(QStringLiteral("startup.ratio"), QStringLiteral("  start-up ratio to it, medians"),
                      t / b, QStringLiteral("x"), {},
                      counts + QStringLiteral("; paired runs' ratio %1x")
                                   .arg(paired(shown[Tilecast], shown[Bare]), 0, 'f', 2));
        // What a person sees: mapping comes first, the picture and text when the program has drawn them.
        bool allPainted = true;
        for (const std::vector<double>& p : painted)
            allPainted = allPainted && int(p.size()) == m_o.runs;
        if (allPainted) {
            const double tp = bench::median(painted[Tilecast]), bp = bench::median(painted[Bare]),
                         btp = bench::median(painted[TextBare]);
            bench::report(QStringLiteral("startup.tilecast_paint_ms"),
                          QStringLiteral("exec to splash painted"), tp, QStringLiteral("ms"), {},
                          spread(painted[Tilecast]), series(painted[Tilecast]));
            bench::report(QStringLiteral("startup.bare_text_paint_ms"),
                          QStringLiteral("  bare window with text (floor)"), btp, QStringLiteral("ms"), {},
                          spread(painted[TextBare]), series(painted[TextBare]));
            bench::report(QStringLiteral("startup.text_paint_ratio"),
                          QStringLiteral("  first-paint ratio to it, medians"), tp / btp, QStringLiteral("x"),
                          {},
                          QStringLiteral("DAMAGE reports; ") + counts +
                              QStringLiteral("; paired runs' ratio %1x")
                                  .arg(paired(painted[Tilecast], painted[TextBare]), 0, 'f', 2));
            bench::report(QStringLiteral("startup.bare_paint_ms"),
                          QStringLiteral("  bare window, no text (limit)"), bp, QStringLiteral("ms"), {},
                          spread(painted[Bare]), series(painted[Bare]));
            bench::report(QStringLiteral("startup.paint_ratio"),
                          QStringLiteral("  first-paint ratio to it, medians"), tp / bp, QStringLiteral("x"),
                          {}, QStringLiteral("DAMAGE reports; ") + counts);
        } else if (m_x.paintsMeasured()) {
            say(QStringLiteral("some windows were never seen painted; first paints left out"));
        }
    }

    bool memoryAndIdle(const Program* const (&programs)[Count], bool memory, bool idle)
    {
        std::vector<double> peaks[Count], mainWindowMs;
        QJsonArray samples[Count];
        const int rounds = memory ? m_o.memoryRuns : 1;
        for (int round = 0; round < rounds; ++round) {
            Memory floors[Count];
            for (const Which which : {Bare, TextBare}) {
                if (!memory)
                    break;
                Child b;
                if (!launch(b, *programs[which], SplashSize, 10000))
                    return false;
                settle();
                floors[which] = memoryOf(b.pid());
                b.stop();
                pause();
            }
            // The main window opens two seconds after start, once the splash found the messenger.
            Child t;
            const auto opened = launch(t, *programs[Tilecast], MainSize, 15000);
            if (!opened)
                return false;
            mainWindowMs.push_back(opened->shownMs);
            const xcb_window_t mainWindow = m_lastWindow;
            settle();
            floors[Tilecast] = memoryOf(t.pid());
            for (int which = 0; which < Count; ++which) {
                peaks[which].push_back(double(floors[which].peakKiB));
                samples[which].append(memoryJson(floors[which]));
            }
            if (idle && round == rounds - 1 && !measureIdle(t, mainWindow, *programs[Bare]))
                return false;
            t.stop();
            pause();
        }
        if (memory)
            reportMemory(peaks, samples, mainWindowMs);
        for (const bench::Figure& f : m_idleFigures)
            bench::report(f);
        return true;
    }

private:
    // Memory figures: peak RSS of each program and Tilecast's ratios to the floors; and how
    // long the main window took to open.
    void reportMemory(const std::vector<double> (&peaks)[Count], const QJsonArray (&samples)[Count],
                      const std::vector<double>& mainWindowMs)
    {
        bench::report(QStringLiteral("startup.main_window_ms"), QStringLiteral("exec to main window mapped"),
                      bench::median(mainWindowMs), QStringLiteral("ms"), {},
                      QStringLiteral("the splash checks the messenger after 2 s by design; median of %1")
                          .arg(mainWindowMs.size()),
                      series(mainWindowMs));
        // Anonymous (heap, stacks, pixmaps) and file-backed (libraries, fonts) memory of the last sample.
        const auto parts = [&samples](Which which) {
            const QJsonValue last = samples[which].last();
            return QStringLiteral("anon %1 KiB, file %2 KiB")
                .arg(last[QStringLiteral("anon_kib")].toInteger())
                .arg(last[QStringLiteral("file_kib")].toInteger());
        };
        const double tp = bench::median(peaks[Tilecast]), bp = bench::median(peaks[Bare]),
                     btp = bench::median(peaks[TextBare]);
        bench::report(QStringLiteral("memory.tilecast_peak_kib"),
                      QStringLiteral("peak RSS, main window open"), tp, QStringLiteral("KiB"), {},
                      QStringLiteral("VmHWM, median of %1; %2").arg(m_o.memoryRuns).arg(parts(Tilecast)),
                      QJsonObject{{QStringLiteral("samples"), samples[Tilecast]}});
        bench::report(QStringLiteral("memory.bare_text_peak_kib"),
                      QStringLiteral("  bare window with text (floor)"), btp, QStringLiteral("KiB"), {},
                      parts(TextBare), QJsonObject{{QStringLiteral("samples"), samples[TextBare]}});
        bench::report(QStringLiteral("memory.text_ratio"), QStringLiteral("  peak RSS ratio to it, medians"),
                      tp / btp, QStringLiteral("x"), {QStringLiteral("<="), 1.1}, QString());
        bench::report(QStringLiteral("memory.bare_peak_kib"),
                      QStringLiteral("  bare window, no text (limit)"), bp, QStringLiteral("KiB"), {},
                      parts(Bare), QJsonObject{{QStringLiteral("samples"), samples[Bare]}});
        bench::report(QStringLiteral("memory.ratio"), QStringLiteral("  peak RSS ratio to it, medians"),
                      tp / bp, QStringLiteral("x"), {}, QString());
    }

    bool measureIdle(Child& tilecast, xcb_window_t mainWindow, const Program& bare)
    {
        // The floor idles in the same stretch; it costs no extra time.
        Child b;
        if (!launch(b, bare, SplashSize, 10000))
            return false;
        settle();
        say(QStringLiteral("idle for %1 s with the main window open").arg(m_o.idleSeconds));
        const CpuSample t0 = cpuOf(tilecast.pid()), b0 = cpuOf(b.pid());
        std::this_thread::sleep_for(std::chrono::seconds(m_o.idleSeconds));
        const CpuSample t1 = cpuOf(tilecast.pid()), b1 = cpuOf(b.pid());
        if (!tilecast.alive() || !m_x.viewable(mainWindow)) {
            say(QStringLiteral("the main window did not stay open while idle (is the messenger signed in?)"));
            return false;
        }
        const Idle ti = idleBetween(t0, t1), bi = idleBetween(b0, b1);
        const QJsonObject detail{{QStringLiteral("seconds"), m_o.idleSeconds},
                                 {QStringLiteral("stat_cpu_percent"), ti.statCpuPercent},
                                 {QStringLiteral("threads"), ti.threads},
                                 {QStringLiteral("bare_cpu_percent"), bi.cpuPercent},
                                 {QStringLiteral("bare_wakeups_per_s"), bi.wakeupsPerSecond}};
        m_idleFigures.push_back(bench::Figure{QStringLiteral("idle.cpu_percent"),
                                              QStringLiteral("idle CPU, main window open"),
                                              ti.cpuPercent,
                                              QStringLiteral("% core"),
                                              {QStringLiteral("<="), 0.05},
                                              QStringLiteral("%1 s; /proc/PID/stat says %2 %; bare %3 %")
                                                  .arg(m_o.idleSeconds)
                                                  .arg(ti.statCpuPercent, 0, 'f', 3)
                                                  .arg(bi.cpuPercent, 0, 'f', 3),
                                              detail});
        m_idleFigures.push_back(
            bench::Figure{QStringLiteral("idle.ui_wakeups_per_s"),
                          QStringLiteral("  wake-ups of the UI thread"),
                          ti.uiWakeupsPerSecond,
                          QStringLiteral("/s"),
                          {QStringLiteral("<="), 1.2},
                          QStringLiteral("voluntary and involuntary context switches; the "
                                         "watchdog's one-second tick is 1/s"),
                          detail});
        m_idleFigures.push_back(bench::Figure{QStringLiteral("idle.wakeups_per_s"),
                                              QStringLiteral("  wake-ups (context switches)"),
                                              ti.wakeupsPerSecond,
                                              QStringLiteral("/s"),
                                              {},
                                              QStringLiteral("all threads; %1; bare %2/s")
                                                  .arg(busiestThreads(ti.threads))
                                                  .arg(bi.wakeupsPerSecond, 0, 'f', 1),
                                              detail});
        return true;
    }

    static QString busiestThreads(const QJsonArray& threads)
    {
        QStringList parts;
        for (const QJsonValue& t : threads) {
            const double rate = t[QStringLiteral("wakeups_per_s")].toDouble();
            if (rate >= 0.5)
                parts << QStringLiteral("%1 %2")
                             .arg(t[QStringLiteral("thread")].toString())
                             .arg(rate, 0, 'f', 1);
        }
        return parts.join(QStringLiteral(", "));
    }

    static QJsonObject memoryJson(const Memory& m)
    {
        return {{QStringLiteral("peak_kib"), m.peakKiB},
                {QStringLiteral("rss_kib"), m.rssKiB},
                {QStringLiteral("anon_kib"), m.anonKiB},
                {QStringLiteral("file_kib"), m.fileKiB}};
    }

    static QString spread(const std::vector<double>& v)
    {
        return QStringLiteral("median of %1; quartiles %2-%3, min %4")
            .arg(v.size())
            .arg(bench::percentile(v, 0.25), 0, 'f', 1)
            .arg(bench::percentile(v, 0.75), 0, 'f', 1)
            .arg(bench::percentile(v, 0), 0, 'f', 1);
    }

    static QJsonObject series(const std::vector<double>& v)
    {
        QJsonArray a;
        for (double x : v)
            a.append(std::round(x * 100) / 100);
        return {{QStringLiteral("runs_ms"), a}};
    }

    // Lets the window paint and the program reach its steady state.
    static void settle() { std::this_thread::sleep_for(std::chrono::seconds(1)); }
    // Lets the window manager finish with the window just closed.
    static void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

    Options m_o;
    XWatch m_x;
    xcb_window_t m_lastWindow = 0;
    std::vector<bench::Figure> m_idleFigures; // reported after the memory figures
};

int usage()
{
    std::fprintf(
        stderr,
        "usage: bench_desktop --tilecast BIN --bare BIN --text-bare BIN --folder DIR [--log-dir DIR]\n"
        "                     [--runs N] [--warmups N] [--memory-runs N] [--idle-seconds N]\n"
        "                     [--only startup,memory,idle]\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    Options o;
    o.logDir = QDir::tempPath();
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (i + 1 >= argc)
            return usage();
        const QString value = QString::fromLocal8Bit(argv[++i]);
        if (arg == QStringLiteral("--tilecast"))
            o.tilecast = value;
        else if (arg == QStringLiteral("--bare"))
            o.bare = value;
        else if (arg == QStringLiteral("--text-bare"))
            o.textBare = value;
        else if (arg == QStringLiteral("--folder"))
            o.folder = value;
        else if (arg == QStringLiteral("--log-dir"))
            o.logDir = value;
        else if (arg == QStringLiteral("--runs"))
            o.runs = value.toInt();
        else if (arg == QStringLiteral("--warmups"))
            o.warmups = value.toInt();
        else if (arg == QStringLiteral("--memory-runs"))
            o.memoryRuns = value.toInt();
        else if (arg == QStringLiteral("--idle-seconds"))
            o.idleSeconds = value.toInt();
        else if (arg == QStringLiteral("--only"))
            o.parts = value.split(QLatin1Char(','));
        else
            return usage();
    }
    if (o.tilecast.isEmpty() || o.bare.isEmpty() || o.textBare.isEmpty() || o.folder.isEmpty() ||
        o.runs < 1 || o.memoryRuns < 1 || o.idleSeconds < 1)
        return usage();

    Bench bench(o);
    if (!bench.init())
        return 1;
    const Program tilecast{QStringLiteral("tilecast"), o.tilecast};
    const Program bare{QStringLiteral("bare window"), o.bare};
    const Program textBare{QStringLiteral("bare window with text"), o.textBare};
    const Program* const programs[Bench::Count] = {&tilecast, &bare, &textBare};
    if (o.parts.contains(QStringLiteral("startup")) && !bench.startup(programs))
        return 1;
    const bool memory = o.parts.contains(QStringLiteral("memory"));
    const bool idle = o.parts.contains(QStringLiteral("idle"));
    if ((memory || idle) && !bench.memoryAndIdle(programs, memory, idle))
        return 1;
    return 0;
}
