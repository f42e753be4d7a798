// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/XWindows.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <optional>

namespace testsupport {

namespace {

constexpr int toolTimeoutMs = 5000;

// Runs an X tool and returns its standard output; nullopt (and the reason) if it fails.
std::optional<QByteArray> runTool(const QString& program, const QStringList& arguments, QString* error)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8")); // titles as UTF-8, not escaped
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForStarted(toolTimeoutMs)) {
        if (error)
            *error = QStringLiteral("cannot run %1: %2").arg(program, process.errorString());
        return std::nullopt;
    }
    if (!process.waitForFinished(toolTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        if (error)
            *error = QStringLiteral("%1 did not finish within %2 ms").arg(program).arg(toolTimeoutMs);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("%1 %2 failed: %3")
                         .arg(program, arguments.join(u' '),
                              QString::fromLocal8Bit(process.readAllStandardError()));
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

struct TreeEntry
{
    quint64 id = 0;
    int depth = 0;
    bool hasClass = false;
};

// Parses `xwininfo -root -tree`: every window below the root with its depth and whether it
// has a WM_CLASS. Lines look like
//      0x200003 "panel": ("panel" "trayer")  120x24+1160+1000  +1160+1000
// with three more spaces of indentation per level.
QList<TreeEntry> parseTree(const QByteArray& text)
{
    static const QRegularExpression line(
        QStringLiteral(R"(^( +)(0x[0-9a-fA-F]+) (.*)\s+-?\d+x-?\d+\+-?\d+\+-?\d+\s+\+-?\d+\+-?\d+\s*$)"));
    QList<TreeEntry> entries;
    int rootIndent = -1;
    for (const QByteArray& raw : text.split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromUtf8(raw));
        if (!m.hasMatch())
            continue;
        const int indent = int(m.capturedLength(1));
        if (rootIndent < 0)
            rootIndent = indent;
        TreeEntry entry;
        entry.id = m.captured(2).toULongLong(nullptr, 16);
        entry.depth = (indent - rootIndent) / 3;
        entry.hasClass = !m.captured(3).trimmed().endsWith(QStringLiteral("()"));
        entries << entry;
    }
    return entries;
}

// The client windows: per child of the root, the shallowest windows that carry a WM_CLASS.
// Without a window manager that is the root's child itself; with openbox it is the client
// inside the frame.
QList<quint64> clientCandidates(const QList<TreeEntry>& tree)
{
    QList<quint64> ids;
    for (qsizetype start = 0; start < tree.size();) {
        qsizetype end = start + 1;
        while (end < tree.size() && tree.at(end).depth > 0)
            ++end;
        int best = -1;
        for (qsizetype i = start; i < end; ++i) {
            if (tree.at(i).hasClass && (best < 0 || tree.at(i).depth < best))
                best = tree.at(i).depth;
        }
        for (qsizetype i = start; i < end; ++i) {
            if (tree.at(i).hasClass && tree.at(i).depth == best)
                ids << tree.at(i).id;
        }
        start = end;
    }
    return ids;
}

// Reads xprop's quoted strings: "a", "b" with \" \\ \n and \ooo (octal byte) escapes.
QStringList parseQuoted(const QString& value)
{
    QStringList out;
    QByteArray current;
    bool inside = false;
    const QByteArray bytes = value.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (!inside) {
            if (c == '"') {
                inside = true;
                current.clear();
            }
            continue;
        }
        if (c == '"') {
            out << QString::fromUtf8(current);
            inside = false;
        } else if (c == '\\' && i + 1 < bytes.size()) {
            const auto octal = [&bytes](qsizetype at) {
                return at < bytes.size() && bytes.at(at) >= '0' && bytes.at(at) <= '7';
            };
            if (octal(i + 1)) {
                int code = 0;
                for (int digits = 0; digits < 3 && octal(i + 1); ++digits)
                    code = code * 8 + (bytes.at(++i) - '0');
                current += char(code);
            } else {
                const char n = bytes.at(++i);
                current += n == 'n' ? '\n' : n;
            }
        } else {
            current += c;
        }
    }
    return out;
}

QStringList parseAtoms(const QString& value)
{
    QStringList atoms;
    for (const QString& atom : value.split(u',', Qt::SkipEmptyParts)) {
        if (!atom.trimmed().isEmpty())
            atoms << atom.trimmed();
    }
    return atoms;
}

// One section of the batch output: xwininfo -id followed by xprop -id for one window.
std::optional<XWindow> parseWindow(quint64 id, const QStringList& lines)
{
    XWindow w;
    w.id = id;
    bool sawMapState = false;
    QString netName;
    QString plainName;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        const auto after = [&line](QStringView prefix) { return line.mid(prefix.size()).trimmed(); };
        const auto value = [&line] {
            const qsizetype eq = line.indexOf(QStringLiteral(" = "));
            return eq < 0 ? QString() : line.mid(eq + 3);
        };
        if (line.startsWith(u"Absolute upper-left X:")) {
            w.geometry.moveLeft(after(u"Absolute upper-left X:").toInt());
        } else if (line.startsWith(u"Absolute upper-left Y:")) {
            w.geometry.moveTop(after(u"Absolute upper-left Y:").toInt());
        } else if (line.startsWith(u"Width:")) {
            w.geometry.setWidth(after(u"Width:").toInt());
        } else if (line.startsWith(u"Height:")) {
            w.geometry.setHeight(after(u"Height:").toInt());
        } else if (line.startsWith(u"Map State:")) {
            sawMapState = true;
            const QString state = after(u"Map State:");
            w.mapped = state != QStringLiteral("IsUnMapped");
            w.viewable = state == QStringLiteral("IsViewable");
        } else if (line.startsWith(u"Override Redirect State:")) {
            w.overrideRedirect = after(u"Override Redirect State:") == QStringLiteral("yes");
        } else if (line.startsWith(u"_NET_WM_PID(")) {
            w.pid = value().toLongLong();
        } else if (line.startsWith(u"_NET_WM_NAME(")) {
            netName = parseQuoted(value()).value(0);
        } else if (line.startsWith(u"WM_NAME(")) {
            plainName = parseQuoted(value()).value(0);
        } else if (line.startsWith(u"WM_CLASS(")) {
            const QStringList parts = parseQuoted(value());
            w.instanceName = parts.value(0);
            w.className = parts.value(1);
        } else if (line.startsWith(u"_NET_WM_STATE(")) {
            w.netWmState = parseAtoms(value());
        } else if (line.startsWith(u"_NET_WM_WINDOW_TYPE(")) {
            w.windowTypes = parseAtoms(value());
        } else if (line.startsWith(u"_NET_FRAME_EXTENTS(")) {
            const QStringList n = value().split(u',');
            if (n.size() == 4)
                w.frameExtents = QMargins(n[0].trimmed().toInt(), n[2].trimmed().toInt(),
                                          n[1].trimmed().toInt(), n[3].trimmed().toInt());
        } else if (line.startsWith(u"WM_STATE(")) {
            // WM_STATE(WM_STATE):
            //         window state: Normal
            if (i + 1 < lines.size() && lines.at(i + 1).trimmed().startsWith(u"window state:"))
                w.wmState = lines.at(i + 1).trimmed().mid(13).trimmed();
        }
    }
    if (!sawMapState)
        return std::nullopt; // gone between the tree and this look
    w.title = netName.isEmpty() ? plainName : netName;
    return w;
}

QList<XWindow> collect(qint64 pid, QString* error)
{
    QString why;
    const std::optional<QByteArray> tree =
        runTool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")}, &why);
    if (!tree) {
        if (error)
            *error = why;
        return {};
    }
    const QList<quint64> ids = clientCandidates(parseTree(*tree));
    if (ids.isEmpty())
        return {};

    // One shell for all windows: a process per window and tool would be slow to poll.
    QStringList arguments{
        QStringLiteral("-c"),
        QStringLiteral("for w; do echo \"@@window $w\"; xwininfo -id \"$w\" 2>/dev/null; "
                       "xprop -id \"$w\" _NET_WM_PID WM_STATE _NET_WM_STATE _NET_WM_NAME WM_NAME "
                       "WM_CLASS _NET_WM_WINDOW_TYPE _NET_FRAME_EXTENTS 2>/dev/null; done; true"),
        QStringLiteral("sh")};
    for (quint64 id : ids)
        arguments << QStringLiteral("0x%1").arg(id, 0, 16);
    const std::optional<QByteArray> batch = runTool(QStringLiteral("sh"), arguments, &why);
    if (!batch) {
        if (error)
            *error = why;
        return {};
    }

    QList<XWindow> windows;
    quint64 current = 0;
    QStringList section;
    const auto flush = [&] {
        if (current == 0)
            return;
        if (std::optional<XWindow> w = parseWindow(current, section); w && (pid <= 0 || w->pid == pid))
            windows << *w;
        section.clear();
    };
    for (const QByteArray& raw : batch->split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(u"@@window ")) {
            flush();
            current = line.mid(9).toULongLong(nullptr, 16);
        } else {
            section << line;
        }
    }
    flush();
    return windows;
}

// "_NET_WM_ICON(CARDINAL) = 16, 16, 4294967295, ..." (read with -f _NET_WM_ICON 32c):
// width, height and that many ARGB pixels, for each icon in turn.
QList<QImage> parseIcons(const QString& value)
{
    QList<quint32> numbers;
    for (const QString& n : value.split(u',', Qt::SkipEmptyParts))
        numbers << n.trimmed().toUInt();
    QList<QImage> icons;
    for (qsizetype at = 0; at + 2 <= numbers.size();) {
        const int width = int(numbers.at(at)), height = int(numbers.at(at + 1));
        at += 2;
        if (width <= 0 || height <= 0 || at + qsizetype(width) * height > numbers.size())
            break;
        QImage icon(width, height, QImage::Format_ARGB32);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                icon.setPixel(x, y, numbers.at(at++));
        }
        icons << icon;
    }
    return icons;
}

} // namespace

bool XWindowHints::titleBar() const
{
    return (motifFlags & HasDecorations) == 0 || (motifDecorations & (DecorationAll | DecorationTitle)) != 0;
}

bool XWindowHints::offers(quint32 function, quint32 decoration) const
{
    const bool allowed = (motifFlags & HasFunctions) == 0 || (motifFunctions & (FunctionAll | function)) != 0;
    const bool drawn = decoration == 0 || (motifFlags & HasDecorations) == 0 ||
                       (motifDecorations & (DecorationAll | decoration)) != 0;
    return allowed && drawn && titleBar();
}

QImage XWindowHints::icon(QSize size) const
{
    for (const QImage& i : icons) {
        if (i.size() == size)
            return i;
    }
    return {};
}

std::optional<XWindowHints> XWindows::hints(quint64 id, QString* error)
{
    const QString window = QStringLiteral("0x%1").arg(id, 0, 16);
    const std::optional<QByteArray> out =
        runTool(QStringLiteral("xprop"),
                {QStringLiteral("-id"), window, QStringLiteral("-f"), QStringLiteral("_NET_WM_ICON"),
                 QStringLiteral("32c"), QStringLiteral("_MOTIF_WM_HINTS"), QStringLiteral("WM_NORMAL_HINTS"),
                 QStringLiteral("_NET_WM_ICON")},
                error);
    if (!out)
        return std::nullopt;
    XWindowHints hints;
    static const QRegularExpression sizeLine(
        QStringLiteral(R"(program specified (minimum|maximum) size: (\d+) by (\d+))"));
    for (const QByteArray& raw : out->split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const qsizetype eq = line.indexOf(QStringLiteral(" = "));
        if (line.startsWith(u"_MOTIF_WM_HINTS(") && eq > 0) {
            const QStringList n = line.mid(eq + 3).split(u',');
            if (n.size() >= 3) {
                hints.motifFlags = n.at(0).trimmed().toUInt(nullptr, 0);
                hints.motifFunctions = n.at(1).trimmed().toUInt(nullptr, 0);
                hints.motifDecorations = n.at(2).trimmed().toUInt(nullptr, 0);
            }
        } else if (line.startsWith(u"_NET_WM_ICON(") && eq > 0) {
            hints.icons = parseIcons(line.mid(eq + 3));
        } else if (const QRegularExpressionMatch m = sizeLine.match(line); m.hasMatch()) {
            const QSize size(m.captured(2).toInt(), m.captured(3).toInt());
            (m.captured(1) == u"minimum" ? hints.minimumSize : hints.maximumSize) = size;
        }
    }
    return hints;
}

QString XWindow::describe() const
{
    QString text = QStringLiteral("%1 \"%2\" class=%3/%4 pid=%5 %6x%7+%8+%9")
                       .arg(idHex(), title, instanceName, className)
                       .arg(pid)
                       .arg(geometry.width())
                       .arg(geometry.height())
                       .arg(geometry.x())
                       .arg(geometry.y());
    text += viewable ? QStringLiteral(" viewable")
            : mapped ? QStringLiteral(" mapped")
                     : QStringLiteral(" unmapped");
    if (!wmState.isEmpty())
        text += QStringLiteral(" wm-state=") + wmState;
    if (!netWmState.isEmpty())
        text += QStringLiteral(" net-state=") + netWmState.join(u',');
    if (!windowTypes.isEmpty())
        text += QStringLiteral(" type=") + windowTypes.join(u',');
    if (!frameExtents.isNull())
        text += QStringLiteral(" frame=%1,%2,%3,%4")
                    .arg(frameExtents.left())
                    .arg(frameExtents.right())
                    .arg(frameExtents.top())
                    .arg(frameExtents.bottom());
    if (overrideRedirect)
        text += QStringLiteral(" override-redirect");
    return text;
}

QList<XWindow> XWindows::topLevel(QString* error)
{
    return collect(0, error);
}

QList<XWindow> XWindows::windowsOfPid(qint64 pid, QString* error)
{
    return collect(pid, error);
}

std::optional<XWindow> XWindows::waitFor(const std::function<bool(const XWindow&)>& predicate, int timeoutMs,
                                         qint64 pid)
{
    std::optional<XWindow> found;
    waitUntil(
        [&](const QList<XWindow>& windows) {
            for (const XWindow& w : windows) {
                if (predicate(w)) {
                    found = w;
                    return true;
                }
            }
            return false;
        },
        timeoutMs, pid);
    return found;
}

bool XWindows::waitUntil(const std::function<bool(const QList<XWindow>&)>& predicate, int timeoutMs,
                         qint64 pid, QList<XWindow>* last)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QList<XWindow> windows = collect(pid, nullptr);
        if (last)
            *last = windows;
        if (predicate(windows))
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(int(qMin<qint64>(50, deadline.remainingTime())));
    }
}

QString XWindows::dump(const QList<XWindow>& windows)
{
    if (windows.isEmpty())
        return QStringLiteral("(no windows)\n");
    QString text;
    for (const XWindow& w : windows)
        text += w.describe() + u'\n';
    return text;
}

} // namespace testsupport
