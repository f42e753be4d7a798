// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include "platform/DisplayPlatform.h"

// Which display platform Tilecast asks Qt for: X11 (XWayland in a Wayland session) unless the
// user chose, native Wayland where there is no X display.
class TestDisplayPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choice_data()
    {
        QTest::addColumn<QStringList>("environment"); // NAME=value
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("platforms");

        const QString wayland = QStringLiteral("WAYLAND_DISPLAY=wayland-0");
        const QString session = QStringLiteral("XDG_SESSION_TYPE=wayland");
        const QString display = QStringLiteral("DISPLAY=:0");
        const QByteArray x11First = QByteArrayLiteral("xcb;wayland");
        QTest::newRow("Wayland session with XWayland")
            << QStringList{session, wayland, display} << QStringList{} << x11First;
        QTest::newRow("X11 session") << QStringList{QStringLiteral("XDG_SESSION_TYPE=x11"), display}
                                     << QStringList{} << x11First;
        QTest::newRow("Wayland without an X display: Qt's choice")
            << QStringList{session, wayland} << QStringList{} << QByteArray();
        QTest::newRow("the user asks for Wayland")
            << QStringList{session, wayland, display, QStringLiteral("QT_QPA_PLATFORM=wayland")}
            << QStringList{} << QByteArray();
        QTest::newRow("an empty QT_QPA_PLATFORM chooses nothing")
            << QStringList{session, wayland, display, QStringLiteral("QT_QPA_PLATFORM=")} << QStringList{}
            << x11First;
        QTest::newRow("-platform on the command line")
            << QStringList{session, wayland, display}
            << QStringList{QStringLiteral("-platform"), QStringLiteral("wayland")} << QByteArray();
        QTest::newRow("--platform on the command line")
            << QStringList{session, wayland, display}
            << QStringList{QStringLiteral("--platform"), QStringLiteral("wayland")} << QByteArray();
    }

    void choice()
    {
        QFETCH(QStringList, environment);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, platforms);

        QProcessEnvironment env;
        for (const QString& entry : std::as_const(environment)) {
            const qsizetype eq = entry.indexOf(QLatin1Char('='));
            env.insert(entry.left(eq), entry.mid(eq + 1));
        }
        QCOMPARE(preferredQtPlatforms(env, arguments), platforms);
    }
};

QTEST_GUILESS_MAIN(TestDisplayPlatform)
#include "test_display_platform.moc"
