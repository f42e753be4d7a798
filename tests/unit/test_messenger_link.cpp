// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include "messenger/MessengerLink.h"
#include "support/FakeMessenger.h"

// The shared reference: reads reuse the object held, every apply replaces it.
class TestMessengerLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsCreateOnceAndReuse()
    {
        FakeMessengerWorld world;
        MessengerLink link(world.factory());
        for (int i = 0; i < 3; ++i) {
            const Outcome<QString> name = link.readSigninName();
            QVERIFY(name.ok());
            QCOMPARE(name.value(), world.account);
        }
        QCOMPARE(world.created, 1);
    }

    void appliesCreateAFreshObjectEachTime()
    {
        FakeMessengerWorld world;
        MessengerLink link(world.factory());
        QVERIFY(link.readSigninName().ok());
        QVERIFY(link.applyDisplayPicture(QStringLiteral("/a b/c.gif")).ok());
        QVERIFY(link.applyDisplayPicture(QString()).ok());
        QCOMPARE(world.created, 3);
        QCOMPARE(world.applied, (QStringList{QStringLiteral("/a b/c.gif"), QString()}));
        // The read after an apply uses the object the apply left.
        QVERIFY(link.readSigninName().ok());
        QCOMPARE(world.created, 3);
    }

    void failures_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<bool>("rejectPictures");
        QTest::addColumn<bool>("readOk");
        QTest::addColumn<bool>("applyOk");
        QTest::newRow("all well") << true << true << false << true << true;
        QTest::newRow("no messenger") << false << true << false << false << false;
        QTest::newRow("signed out") << true << false << false << false << false;
        QTest::newRow("picture refused") << true << true << true << true << false;
    }

    void failures()
    {
        QFETCH(bool, running);
        QFETCH(bool, signedIn);
        QFETCH(bool, rejectPictures);
        QFETCH(bool, readOk);
        QFETCH(bool, applyOk);
        FakeMessengerWorld world;
        world.running = running;
        world.signedIn = signedIn;
        world.rejectPictures = rejectPictures;
        MessengerLink link(world.factory());
        const Outcome<QString> name = link.readSigninName();
        QCOMPARE(name.ok(), readOk);
        QCOMPARE(name.failure().isEmpty(), readOk);
        const Status applied = link.applyDisplayPicture(QStringLiteral("/x.gif"));
        QCOMPARE(applied.ok(), applyOk);
        QCOMPARE(applied.failure().isEmpty(), applyOk);
    }

    // A messenger that went away after the object was made: the held object
    // answers with a failure; nothing is cached.
    void heldObjectFailsOnceMessengerIsGone()
    {
        FakeMessengerWorld world;
        MessengerLink link(world.factory());
        QVERIFY(link.readSigninName().ok());
        world.running = false;
        QVERIFY(!link.readSigninName().ok());
        world.running = true;
        QVERIFY(link.readSigninName().ok());
    }
};

QTEST_GUILESS_MAIN(TestMessengerLink)
#include "test_messenger_link.moc"
