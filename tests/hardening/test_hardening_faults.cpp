// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QBuffer>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QImage>
#include <QMutex>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "contract/MessengerContract.h"
#include "controls/Fonts.h"
#include "support/ProgramTexts.h"
#include "support/StandInProcess.h"
#include "support/StandInShowFixture.h"
#include "support/Windows.h"
#include "update/Form5.h"
#include "update/UpdateNotice.h"

// A messenger on the bus that answers in ways the real one never should:
// wrong types, too many or too few values, odd errors. It runs on a
// connection and thread of its own, so the program's blocking calls from
// the test's main thread reach it.
class OddMessenger : public QDBusVirtualObject
{
    Q_OBJECT
public:
    void answerWith(const QString& answer)
    {
        QMutexLocker lock(&m_mutex);
        m_answer = answer;
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.type() != QDBusMessage::MethodCallMessage || message.interface() != contract::Interface)
            return false;
        QString answer;
        {
            QMutexLocker lock(&m_mutex);
            answer = m_answer;
        }
        QVariantList values;
        if (answer == QStringLiteral("error"))
            return connection.send(
                message.createErrorReply(QStringLiteral("org.example.Odd.Error"), QStringLiteral("odd")));
        if (answer == QStringLiteral("string"))
            values = {QStringLiteral("carol")};
        else if (answer == QStringLiteral("empty string"))
            values = {QString()};
        else if (answer == QStringLiteral("int"))
            values = {42};
        else if (answer == QStringLiteral("two strings"))
            values = {QStringLiteral("carol"), QStringLiteral("dave")};
        else if (answer == QStringLiteral("variant"))
            values = {QVariant::fromValue(QDBusVariant(QStringLiteral("carol")))};
        else if (answer == QStringLiteral("string list"))
            values = {QStringList{QStringLiteral("carol")}};
        else if (answer == QStringLiteral("bytes"))
            values = {QByteArray("carol")};
        else if (answer == QStringLiteral("object path"))
            values = {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/carol")))};
        return connection.send(message.createReply(values));
    }

    QString introspect(const QString&) const override { return {}; }

private:
    QMutex m_mutex;
    QString m_answer;
};

// What the program does with pictures the messenger cannot use, answers it
// does not expect, and a desktop without xdg-open. Runs on a private bus
// with the real stand-in messenger.
class TestHardeningFaults : public QObject
{
    Q_OBJECT

    StandInProcess m_standIn;

    static QString source(const char* sample)
    {
        return qEnvironmentVariable("TILECAST_SOURCE_DIR") + QStringLiteral("/resources/samples/") +
               QString::fromLatin1(sample);
    }

    static QByteArray contentOf(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    bool startStandIn() { return m_standIn.isRunning() || m_standIn.start(); }

private Q_SLOTS:
    void initTestCase()
    {
        useProgramFont(*qApp);
        QApplication::setQuitOnLastWindowClosed(false);
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
    }

    void cleanupTestCase() { m_standIn.stop(); }

    void cleanup() { closeAllWindows(); }

    void unusablePictures_data()
    {
        QTest::addColumn<QByteArray>("content"); // what pic.jpg holds when it is added
        QTest::addColumn<QString>("change");     // what happens to it before the tick
        QTest::addColumn<bool>("accepted");

        const QByteArray jpeg = contentOf(source("aurora.jpg"));
        const QByteArray png = [] {
            QImage image(16, 16, QImage::Format_RGB32);
            image.fill(Qt::red);
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            return bytes;
        }();
        QVERIFY(jpeg.size() > 1000);

        QTest::newRow("intact JPEG") << jpeg << "" << true;
        QTest::newRow("deleted after being added") << jpeg << "delete" << false;
        QTest::newRow("emptied") << jpeg << "empty" << false;
        QTest::newRow("replaced by text") << jpeg << "text" << false;
        QTest::newRow("replaced by a folder") << jpeg << "folder" << false;
        QTest::newRow("replaced by a FIFO") << jpeg << "fifo" << false;
        QTest::newRow("replaced by a link to /dev/zero") << jpeg << "device" << false;
        QTest::newRow("truncated inside the header") << jpeg.left(20) << "" << false;
        // The header is intact: the messenger takes it and shows what is there.
        QTest::newRow("truncated to half") << jpeg.left(jpeg.size() / 2) << "" << true;
        QTest::newRow("PNG content under a .jpg name") << png << "" << true;
        // 50 megapixels: test_hardening_sizes.
    }

    // One tick of the ring on a picture gone bad: the stand-in gets the exact
    // path, refuses what it cannot use, and the program shows the error
    // line. The slide show itself is left as it was.
    void unusablePictures()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, change);
        QFETCH(bool, accepted);
        QVERIFY(startStandIn());

        StandInShowFixture fx;
        const QByteArray picture = fx.addPicture(fx.root() + "/show", content);
        QVERIFY(!picture.isEmpty());
        const QString path = fx.form->slot(1)->text();

        if (!change.isEmpty())
            QVERIFY(::unlink(picture.constData()) == 0);
        if (change == QStringLiteral("empty"))
            QVERIFY(EditingFixture::makeFile(picture));
        else if (change == QStringLiteral("text"))
            QVERIFY(EditingFixture::makeFile(picture, "this is not a picture\n"));
        else if (change == QStringLiteral("folder"))
            QVERIFY(EditingFixture::makeFolder(picture));
        else if (change == QStringLiteral("fifo"))
            QVERIFY(::mkfifo(picture.constData(), 0644) == 0);
        else if (change == QStringLiteral("device"))
            QVERIFY(::symlink("/dev/zero", picture.constData()) == 0);

        QVERIFY(StandInProcess::control(QStringLiteral("ClearReceivedPictures")).type() ==
                QDBusMessage::ReplyMessage);
        QElapsedTimer clock;
        clock.start();
        fx.activateAndTick();
        const qint64 took = clock.elapsed();
        qInfo("the tick took %lld ms", took);

        const QStringList received = StandInProcess::receivedPictures();
        QCOMPARE(received, QStringList{path});
        QCOMPARE(QFile::encodeName(received.value(0)), picture);
        if (accepted) {
            QCOMPARE(fx.form->Label2->caption(), QStringLiteral("Program Is Currently Active!"));
            QCOMPARE(fx.form->Text8->text(), path);
            QVERIFY(fx.form->slideTimer(2)->isEnabled());
            QVERIFY(!fx.form->Frame2->isEnabled());
        } else {
            QCOMPARE(fx.form->Label2->caption(), testsupport::ErrorLine);
            QVERIFY(fx.form->Label2->isBold());
            QVERIFY(fx.form->Text8->text().isEmpty());
            QVERIFY(!fx.form->slideTimer(1)->isEnabled() && !fx.form->slideTimer(2)->isEnabled());
            QVERIFY(fx.form->Frame2->isEnabled());
        }
        QCOMPARE(fx.form->slot(1)->text(), path);
        QCOMPARE(fx.listLines(), QStringList{QStringLiteral("pic.jpg")});
        QCOMPARE(fx.form->Label23->caption(), QStringLiteral("1"));
        QVERIFY(fx.form->Command1->isEnabled()); // Deactivate stays at hand
        QVERIFY(m_standIn.isRunning());
    }

    void oddAnswers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("nameRead");     // MySigninName counts as a name
        QTest::addColumn<bool>("pictureTaken"); // SetMyProperty counts as done

        QTest::newRow("a string") << "string" << true << true;
        QTest::newRow("an empty string") << "empty string" << true << true;
        QTest::newRow("an integer") << "int" << false << true;
        QTest::newRow("nothing") << "none" << false << true;
        QTest::newRow("two strings") << "two strings" << false << true;
        QTest::newRow("a variant") << "variant" << false << true;
        QTest::newRow("a string list") << "string list" << false << true;
        QTest::newRow("bytes") << "bytes" << false << true;
        QTest::newRow("an object path") << "object path" << false << true;
        QTest::newRow("an unknown error") << "error" << false << false;
    }

    // Only a reply of exactly one string is a name; any reply that is not an
    // error means the picture was taken. Nothing here may crash or hang.
    void oddAnswers()
    {
        QFETCH(QString, answer);
        QFETCH(bool, nameRead);
        QFETCH(bool, pictureTaken);
        m_standIn.stop();

        QThread thread;
        thread.start();
        OddMessenger odd;
        odd.moveToThread(&thread);
        odd.answerWith(answer);
        const QString name = QStringLiteral("odd messenger");
        const auto finish = qScopeGuard([&] {
            QDBusConnection::disconnectFromBus(name);
            thread.quit();
            thread.wait();
        });
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        QVERIFY(bus.isConnected());
        QVERIFY(bus.registerVirtualObject(contract::Path, &odd));
        QVERIFY(bus.registerService(contract::Service));

        MessengerLink link(&ContractClient::create);
        QElapsedTimer clock;
        clock.start();
        const Outcome<QString> read = link.readSigninName();
        QCOMPARE(read.ok(), nameRead);
        if (nameRead)
            QCOMPARE(read.value(), answer == QStringLiteral("string") ? QStringLiteral("carol") : QString());
        else
            QVERIFY(!read.failure().isEmpty());
        const Status applied = link.applyDisplayPicture(QStringLiteral("/x.jpg"));
        QCOMPARE(applied.ok(), pictureTaken);
        QVERIFY2(clock.elapsed() < contract::CallTimeoutMs, "answered calls must not wait for the time-out");
        bus.unregisterService(contract::Service);
    }

    // Without xdg-open the notice still counts down and closes; nothing is
    // shown or said about the missing browser hand-off.
    void downloadWithoutXdgOpen()
    {
        QTemporaryDir emptyBin;
        const QByteArray path = qgetenv("PATH");
        const auto restore = qScopeGuard([&] { qputenv("PATH", path); });
        qputenv("PATH", QFile::encodeName(emptyBin.path()));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));

        UpdateNotice updates;
        updates.open(QStringLiteral("http://127.0.0.1:9/QUORVIK/Apps/Tilecaster/2.0/tilecst.zip"));
        QPointer<Form5> notice = updates.window();
        QVERIFY(notice && notice->isVisible());
        Q_EMIT notice->Timer1->fired();
        deleteClosedWindows();
        QVERIFY(notice.isNull());
        QTest::qWait(200);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        // The next notice works as before.
        updates.open(QStringLiteral("http://127.0.0.1:9/x"));
        QVERIFY(updates.window());
    }
};

QTEST_MAIN(TestHardeningFaults)
#include "test_hardening_faults.moc"
