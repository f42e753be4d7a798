// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRect>
#include <QString>

#include <functional>
#include <optional>

namespace testsupport {

// Reads what a program shows through the AT-SPI accessibility tree, the way a screen reader
// does: over the accessibility bus that org.a11y.Bus on the session bus hands out, from
// the registry down to the program's windows and widgets. Plain QtDBus, every call with a
// short time-out, so a hung or dead program makes a snapshot fail instead of hanging the test.
class A11yTree
{
public:
    // AT-SPI state numbers (AtspiStateType), for Node::hasState().
    enum State
    {
        Active = 1,
        Checked = 4,
        Editable = 7,
        Enabled = 8,
        Focusable = 11,
        Focused = 12,
        Modal = 16,
        Selected = 23,
        Sensitive = 24,
        Showing = 25,
        Visible = 30,
    };

    struct Node
    {
        QString role; // GetRoleName: "frame", "label", "push button", ...
        QString name; // the caption a screen reader reads
        QString description;
        QRect extents; // screen coordinates; null for objects without a Component
        bool showing = false;
        bool visible = false;
        bool enabled = false;
        bool focused = false;
        quint64 states = 0; // every state bit, by State number
        QList<Node> children;
        QString service; // where the object lives on the accessibility bus
        QString path;

        bool hasState(int state) const { return state >= 0 && state < 64 && (states >> state) & 1u; }
        // This node and its descendants, depth-first, that satisfy the predicate.
        QList<const Node*> findAll(const std::function<bool(const Node&)>& predicate) const;
        // The first node (depth-first) with exactly this name, or null.
        const Node* findByName(const QString& name) const;
        // On the application node (what snapshot() returns): its children, which Qt makes
        // exactly its top-level windows, hidden ones included, whatever their role (a plain
        // QWidget window is a "filler", a QMainWindow a "frame", a QDialog a "dialog").
        // On any other node: the descendants with role "frame", "window" or "dialog".
        QList<const Node*> toplevelWindows() const;
        // The subtree as indented text, one node a line, for failure messages.
        QString dump() const;
    };

    // The accessible application of the process `pid`: a node with role "application"
    // whose children are its top-level windows. nullopt (with the reason in *error) when
    // the accessibility bus is not there, the process has not (yet) registered, or a call
    // timed out.
    static std::optional<Node> snapshot(qint64 pid, QString* error = nullptr);

    // Takes snapshots (every 100 ms, serving the event loop in between) until one satisfies
    // the predicate. On time-out *error holds the last reason or the last tree.
    static std::optional<Node> waitFor(qint64 pid, const std::function<bool(const Node&)>& predicate,
                                       int timeoutMs, QString* error = nullptr);

    // Per D-Bus call; a snapshot gives up at the first call that times out.
    static constexpr int callTimeoutMs = 2000;
};

} // namespace testsupport
