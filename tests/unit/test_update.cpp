// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QtTest>

#include "controls/Fonts.h"
#include "mainwindow/Form1.h"
#include "support/LocalHttpServer.h"
#include "support/ShellFixture.h"
#include "update/Form5.h"
#include "update/UpdateNotice.h"
#include "update/UpdateQuery.h"

// The update check at each load of the main window, the notice and the
// hand-off of the download address to the desktop's browser.
class TestUpdate : public QObject
{
    Q_OBJECT

    QTemporaryDir m_bin;
    UpdateNotice m_notice;
    QString m_record;

    // Arguments of each xdg-open start, one "[arg]" line per argument.
    QStringList browserStarts() const
    {
        QFile f(m_record);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private Q_SLOTS:
    void initTestCase()
    {
        useProgramFont(*qApp);
        QApplication::setQuitOnLastWindowClosed(false);
        // A stand-in for the desktop's xdg-open, first on PATH, recording its arguments.
        m_record = m_bin.filePath(QStringLiteral("xdg-open.log"));
        const QString script = m_bin.filePath(QStringLiteral("xdg-open"));
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done >> '" +
                QFile::encodeName(m_record) + "'\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", QFile::encodeName(m_bin.path()) + ':' + qgetenv("PATH"));
    }

    void cleanup()
    {
        closeAllWindows();
        QFile::remove(m_record);
    }

    void answers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("notice");

        const int answer = int(LocalHttpServer::Mode::Answer);
        QTest::newRow("no update") << 200 << QByteArray("no update") << answer << false;
        QTest::newRow("no update and a line break") << 200 << QByteArray("no update\n") << answer << true;
        QTest::newRow("capital No") << 200 << QByteArray("No update") << answer << true;
        QTest::newRow("empty body") << 200 << QByteArray() << answer << true;
        QTest::newRow("other text") << 200 << QByteArray("version 2.0 is out") << answer << true;
        QTest::newRow("204 no content") << 204 << QByteArray() << answer << true;
        QTest::newRow("404 page") << 404 << QByteArray("<html>Not Found</html>") << answer << false;
        QTest::newRow("500 page") << 500 << QByteArray("Internal Server Error") << answer << false;
        QTest::newRow("body over 64 KiB") << 200 << QByteArray(64 * 1024 + 1, 'x') << answer << false;
        QTest::newRow("body of exactly 64 KiB") << 200 << QByteArray(64 * 1024, 'x') << answer << true;
        QTest::newRow("slower than the time-out")
            << 200 << QByteArray() << int(LocalHttpServer::Mode::Stall) << false;
        QTest::newRow("reset inside the body")
            << 200 << QByteArray() << int(LocalHttpServer::Mode::ResetInBody) << false;
        QTest::newRow("endless body")
            << 200 << QByteArray() << int(LocalHttpServer::Mode::EndlessBody) << false;
        QTest::newRow("redirect loop")
            << 200 << QByteArray() << int(LocalHttpServer::Mode::RedirectLoop) << false;
    }

    void answers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, mode);
        QFETCH(bool, notice);

        LocalHttpServer server;
        server.answer(status, body);
        server.setMode(LocalHttpServer::Mode(mode));
        Form1 form;
        QElapsedTimer clock;
        clock.start();
        queryForUpdate(form, UpdateServer{server.host(), 1}, m_notice);
        QVERIFY2(clock.elapsed() < 10000, "the time-out bounds the check");

        QCOMPARE(server.requests().value(0), QByteArray("/QUORVIK/Updates/Tilecaster/update.txt"));
        QCOMPARE(m_notice.window() != nullptr, notice);
        if (status / 100 == 2 && mode == int(LocalHttpServer::Mode::Answer) && body.size() <= 64 * 1024)
            QCOMPARE(form.Text26->text(), QString::fromUtf8(body));
        else
            QVERIFY(form.Text26->text().isEmpty());
    }

    void unreachableServers_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("refused port") << QStringLiteral("127.0.0.1:1");
        QTest::newRow("unknown host") << QStringLiteral("updates.tilecast.invalid");
    }

    void unreachableServers()
    {
        QFETCH(QString, host);
        Form1 form;
        queryForUpdate(form, UpdateServer{host, 5}, m_notice);
        QVERIFY(!m_notice.window());
        QVERIFY(form.Text26->text().isEmpty());
    }

    // The notice: five seconds, then one xdg-open with the exact address, then it closes.
    void noticeHandsOverTheDownload()
    {
        LocalHttpServer server;
        server.answer(200, "yes");
        Form1 form;
        queryForUpdate(form, UpdateServer{server.host(), 5}, m_notice);
        QPointer<Form5> notice = m_notice.window();
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->size(), QSize(324, 139));
        QVERIFY(notice->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(notice->Label1->caption(),
                 QStringLiteral(
                     "A newer version of Tilecast is available. Download will start in a few seconds..."));
        QVERIFY(notice->Timer1->isEnabled());
        QCOMPARE(notice->Timer1->period(), 5000);

        const QString dir = qEnvironmentVariable("TILECAST_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            notice->grab().save(dir + QStringLiteral("/form5-offscreen.png"));

        // At most one notice at a time.
        queryForUpdate(form, UpdateServer{server.host(), 5}, m_notice);
        QCOMPARE(m_notice.window(), notice.data());

        Q_EMIT notice->Timer1->fired();
        deleteClosedWindows();
        QVERIFY(notice.isNull());
        const QString expected =
            QStringLiteral("[http://%1/QUORVIK/Apps/Tilecaster/2.0/tilecst.zip]").arg(server.host());
        QTRY_COMPARE(browserStarts(), QStringList{expected});
        QTest::qWait(200);
        QCOMPARE(browserStarts().size(), 1);
    }

    // "Exit Application" during the countdown closes the main window; the
    // notice still hands over the download, then closes, and nothing is left.
    void exitDuringCountdown()
    {
        LocalHttpServer server;
        server.answer(200, "new version");
        ShellFixture run(UpdateServer{server.host(), 5});
        QPointer<Form1> form = run.start();
        QVERIFY(form && form->isVisible());
        QPointer<Form5> notice = run.shell.updateNotice().window();
        QVERIFY(notice && notice->isVisible());

        QTest::mouseClick(form->Label19, Qt::LeftButton);
        deleteClosedWindows();
        QVERIFY(form.isNull());
        QVERIFY(notice && notice->isVisible());
        Q_EMIT notice->Timer1->fired();
        deleteClosedWindows();
        QVERIFY(notice.isNull());
        QTRY_COMPARE(browserStarts().size(), 1);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!w->isVisible());
    }

    // A main window reopened after the watchdog asks the server again.
    void everyLoadAsks()
    {
        LocalHttpServer server;
        server.answer(200, "no update");
        ShellFixture run(UpdateServer{server.host(), 5});
        QVERIFY(run.start());
        QCOMPARE(server.requests().size(), 1);
        run.world.signedIn = false;
        Q_EMIT run.shell.mainWindow()->Timer7->fired();
        run.world.signedIn = true;
        Q_EMIT run.shell.splash()->Timer1->fired();
        QCOMPARE(server.requests().size(), 2);
        QVERIFY(run.shell.mainWindow()->isVisible());
        QVERIFY(!run.shell.updateNotice().window());
    }
};

QTEST_MAIN(TestUpdate)
#include "test_update.moc"
