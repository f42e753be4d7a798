// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDBusConnection>

#include "support/ProgramTexts.h"
#include "support/TilecastUnderTest.h"

// The slide show as a person runs it: three pictures picked with the
// keyboard, "Activate!", the pictures reaching the messenger one second
// apart, the empty fourth slot refused, and the tray icon.
class PictureRecorder : public QObject
{
    Q_OBJECT
public:
    PictureRecorder() { clock.start(); }
    ~PictureRecorder() override
    {
        QDBusConnection::sessionBus().disconnect(service, path, interface, signal, this,
                                                 SLOT(changed(QString)));
    }

    bool listen()
    {
        return QDBusConnection::sessionBus().connect(service, path, interface, signal, this,
                                                     SLOT(changed(QString)));
    }

    QList<QPair<qint64, QString>> changes; // when, which path
    QElapsedTimer clock;
    const QString service = contract::Service;
    const QString path = contract::Path;
    const QString interface = standin::ControlInterface;
    const QString signal = QStringLiteral("DisplayPictureChanged");

public Q_SLOTS:
    void changed(const QString& path) { changes.append({clock.elapsed(), path}); }
};

class TestSlideShowDesktop : public QObject
{
    Q_OBJECT

    struct TrayIconWindow
    {
        QString id;
        QSize size;
    };

    // The XEmbed tray icon: a small viewable window of the program's class.
    static std::optional<TrayIconWindow> trayIconWindow()
    {
        QProcess search;
        search.start(QStringLiteral("xdotool"),
                     {QStringLiteral("search"), QStringLiteral("--classname"), QStringLiteral("^tilecast$")});
        search.waitForFinished(5000);
        const QStringList ids =
            QString::fromLatin1(search.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& id : ids) {
            QProcess info;
            info.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
            info.waitForFinished(5000);
            const QString text = QString::fromLatin1(info.readAllStandardOutput());
            const auto number = [&text](const char* field) {
                return QRegularExpression(QStringLiteral("%1: (\\d+)").arg(QLatin1String(field)))
                    .match(text)
                    .captured(1)
                    .toInt();
            };
            const QSize size(number("Width"), number("Height"));
            const bool viewable = text.contains(QStringLiteral("IsViewable"));
            if (viewable && size.width() > 0 && size.width() <= 64)
                return TrayIconWindow{id, size};
        }
        return std::nullopt;
    }

private Q_SLOTS:
    void initTestCase() { TILECAST_REQUIRE_DESKTOP(testsupport::DesktopNeeds{true, true, true}); }

    void activateRunsTheShow()
    {
        QTemporaryDir folder;
        const QString samples = QStringLiteral(TILECAST_SOURCE_DIR "/resources/samples");
        const QStringList names = {QStringLiteral("1 aurora.jpg"), QStringLiteral("2 tiles.gif"),
                                   QStringLiteral("3 sunset.bmp")};
        QVERIFY(QFile::copy(samples + QStringLiteral("/aurora.jpg"), folder.filePath(names[0])));
        QVERIFY(QFile::copy(samples + QStringLiteral("/tiles.gif"), folder.filePath(names[1])));
        QVERIFY(QFile::copy(samples + QStringLiteral("/sunset.bmp"), folder.filePath(names[2])));

        TilecastUnderTest run;
        QVERIFY(run.startMessenger({QStringLiteral("--account"), QStringLiteral("alice@localhost")}));
        PictureRecorder recorder;
        QVERIFY(recorder.listen());

        QVERIFY(run.startTilecast(folder.path()));
        auto main = run.shownWindow(TilecastUnderTest::mainSize(), 10000);
        QVERIFY2(main, qPrintable(run.report()));

        // The file list has the focus: three entries added with the keyboard.
        QVERIFY(TilecastUnderTest::keys(*main, {QStringLiteral("Home"), QStringLiteral("Return"),
                                                QStringLiteral("Down"), QStringLiteral("Return"),
                                                QStringLiteral("Down"), QStringLiteral("Return")}));
        auto tree = run.waitForCaption(names[2], 5000);
        QVERIFY2(tree, qPrintable(run.report()));
        const auto* activate = tree->findByName(QStringLiteral("Activate!"));
        QVERIFY(activate && activate->enabled);

        QVERIFY(TilecastUnderTest::clickControl(*main, TilecastUnderTest::ActivateButton));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.changes.size() >= 3, 8000);
        QStringList applied;
        for (const auto& change : std::as_const(recorder.changes))
            applied << change.second;
        QCOMPARE(applied.mid(0, 3), (QStringList{folder.filePath(names[0]), folder.filePath(names[1]),
                                                 folder.filePath(names[2])}));
        for (int i = 1; i < 3; ++i) {
            const qint64 gap = recorder.changes[i].first - recorder.changes[i - 1].first;
            QVERIFY2(gap >= 900 && gap <= 1600, qPrintable(QString::number(gap)));
        }

        // Slot 4 is empty: the messenger refuses it and the status line says so.
        QTRY_VERIFY_WITH_TIMEOUT(StandInProcess::receivedPictures().size() >= 4, 4000);
        QCOMPARE(StandInProcess::receivedPictures().value(3), QString());
        QVERIFY(run.waitForCaption(testsupport::ErrorLine, 4000));

        // The window went to the tray; a double-click on the icon brings it back.
        QVERIFY(testsupport::XWindows::waitFor(
            [](const testsupport::XWindow& w) {
                return w.geometry.size() == TilecastUnderTest::mainSize() && !w.shown();
            },
            3000, run.tilecast->pid()));
        std::optional<TrayIconWindow> icon;
        QTRY_VERIFY_WITH_TIMEOUT((icon = trayIconWindow()).has_value(), 5000);
        const QString dir = qEnvironmentVariable("TILECAST_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QProcess::execute(QStringLiteral("import"),
                              {QStringLiteral("-window"), QStringLiteral("root"),
                               QStringLiteral("png:") + dir + QStringLiteral("/tray.png")});
        QVERIFY(TilecastUnderTest::xdotool(
            {QStringLiteral("mousemove"), QStringLiteral("--window"), icon->id,
             QString::number(icon->size.width() / 2), QString::number(icon->size.height() / 2),
             QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
             QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1")}));
        main = run.shownWindow(TilecastUnderTest::mainSize(), 5000);
        QVERIFY2(main, qPrintable(run.report()));
        TilecastUnderTest::screenshot(QStringLiteral("main-window-active.png"), *main);
        QTRY_VERIFY_WITH_TIMEOUT(!trayIconWindow(), 3000);
    }
};

QTEST_MAIN(TestSlideShowDesktop)
#include "test_slideshow_desktop.moc"
