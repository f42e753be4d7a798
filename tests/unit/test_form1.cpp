// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QtTest>

#include <iterator>
#include <utility>

#include "controls/Colours.h"
#include "controls/Fonts.h"
#include "mainwindow/Form1.h"
#include "support/ScreenReader.h"
#include "support/SlideShowState.h"

// The main window's controls start exactly as laid out: names, places,
// captions, look, enabling, the hidden storage and the keyboard order.
class TestForm1 : public QObject
{
    Q_OBJECT

private:
    static QRect px(int l, int t, int w, int h) { return twips::Rect{l, t, w, h}.toPixels(); }

private Q_SLOTS:
    void initTestCase() { useProgramFont(*qApp); }

    void window()
    {
        Form1 form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Tilecast"));
        QCOMPARE(form.size(), QSize(562, 502));
        QCOMPARE(form.minimumSize(), form.maximumSize()); // not resizable
        QVERIFY(!form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(form.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QCOMPARE(form.palette().color(QPalette::Window), colours::white);
        QVERIFY(!form.windowIcon().isNull());
        QCOMPARE(form.font().pixelSize(), 11);
    }

    void visibleControls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry"); // for labels sized to their caption only the top-left counts
        QTest::addColumn<bool>("autoSize");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("underline");

        const QColor none;
        auto row = [](const char* name, QRect g, bool autoSize, const char* caption, bool enabled,
                      QColor colour, bool bold, bool underline) {
            QTest::newRow(name) << QString::fromLatin1(name) << g << autoSize << QString::fromUtf8(caption)
                                << enabled << colour << bold << underline;
        };
        using namespace colours;
        // Banner
        row("Image1", px(0, 0, 8430, 1320), false, "", true, none, false, false);
        row("Label10", px(120, 960, 1110, 195), true, "Enlarge File List", true, linkBlue, false, true);
        row("Label13", px(1440, 960, 1530, 195), true, "Enlarge Directory List", true, linkBlue, false, true);
        row("Label16", px(7080, 960, 1260, 195), true, "Return To Normal", true, linkBlue, false, true);
        row("Label11", px(5880, 360, 1065, 495), false, "View Program Information", true, midGrey, false,
            false);
        row("Label19", px(7080, 360, 1065, 495), false, "Exit Application", true, midGrey, false, false);
        // Status panel
        row("Frame1", px(120, 1440, 8295, 2175), false, "", true, none, false, false);
        row("Image2", px(0, 0, 8145, 2145), false, "", true, none, false, false);
        row("Label2", px(1920, 210, 5295, 255), false, "Program Is Currently Not Active", true, darkGrey,
            false, false);
        row("Label1", px(600, 760, 1815, 255), false, "Current Display Picture", true, darkGrey, false,
            false);
        row("Label6", px(3360, 765, 4695, 255), false, "Not Available", true, darkGrey, false, false);
        row("Label3", px(600, 1000, 1815, 255), false, "My Signin Name", true, darkGrey, false, false);
        row("Label7", px(3360, 1005, 4695, 255), false, "", true, darkGrey, false, false);
        row("Label4", px(600, 1400, 1815, 255), false, "Last Change", true, darkGrey, false, false);
        row("Label8", px(3360, 1395, 4695, 255), false, "Not Available", true, darkGrey, false, false);
        row("Label5", px(600, 1640, 2055, 255), false, "Interval Set At", true, darkGrey, false, false);
        row("Label9", px(3360, 1620, 4695, 255), false, "0", true, darkGrey, false, false);
        // Editing panel
        row("Frame2", px(120, 3600, 8295, 3255), false, "", true, none, false, false);
        row("Image5", px(0, 0, 8145, 3300), false, "", true, none, false, false);
        row("Label17", px(1920, 210, 6015, 255), false, "", true, darkGrey, false, false);
        row("Dir1", px(240, 720, 3615, 990), false, "", true, none, false, false);
        row("File1", px(240, 1800, 3615, 1260), false, "", true, none, false, false);
        row("Label15", px(3960, 720, 3615, 255), false, "Images In Slide Show:", true, darkGrey, false, true);
        row("Label23", px(5640, 720, 330, 195), false, "0", true, darkGrey, true, false);
        row("List1", px(3960, 960, 3615, 840), false, "", true, none, false, false);
        row("Label14", px(3960, 1920, 1455, 255), false, "Interval Settings:", true, darkGrey, false, true);
        row("Command6", px(4200, 2280, 375, 255), false, "<<", false, none, false, false);
        row("Command4", px(4560, 2280, 375, 255), false, "<", true, none, false, false);
        row("Text1", px(5040, 2280, 1695, 255), false, "1000", false, none, false, false);
        row("Command3", px(6840, 2280, 375, 255), false, ">", true, none, false, false);
        row("Command5", px(7200, 2280, 375, 255), false, ">>", true, none, false, false);
        row("Label22", px(4200, 2655, 2055, 255), false, "Interval Chosen In Seconds:", true, darkGrey, false,
            false);
        row("Text10", px(6360, 2640, 1215, 255), false, "1", false, none, false, false);
        row("Label21", px(4200, 2880, 1155, 195), true, "min = 1 second.", true, midGrey, false, false);
        // Bottom row
        row("Line1", QRect(0, 464, 561, 1), false, "", true, none, false, false);
        row("Image3", px(0, 7080, 3840, 465), false, "", true, none, false, false);
        row("Command7", px(3960, 7080, 1335, 375), false, "New Slide Show", false, none, false, false);
        row("Line2", QRect(360, 472, 1, 25), false, "", true, none, false, false);
        row("Command1", px(5520, 7080, 1335, 375), false, "Deactivate", false, none, false, false);
        row("Command2", px(6960, 7080, 1335, 375), false, "Activate!", false, none, false, false);
    }

    void visibleControls()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(bool, autoSize);
        QFETCH(QString, caption);
        QFETCH(bool, enabled);
        QFETCH(QColor, colour);
        QFETCH(bool, bold);
        QFETCH(bool, underline);

        Form1 form;
        auto* w = form.findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QVERIFY(!w->isHidden());
        if (autoSize)
            QCOMPARE(w->pos(), geometry.topLeft());
        else
            QCOMPARE(w->geometry(), geometry);
        QCOMPARE(ownEnabled(w), enabled);

        if (auto* label = qobject_cast<Label*>(w)) {
            QCOMPARE(label->caption(), caption);
            QCOMPARE(label->textColor(), colour);
            QCOMPARE(label->isBold(), bold);
            QCOMPARE(label->isUnderlined(), underline);
            QCOMPARE(screenReaderName(label), caption);
            QVERIFY(!label->autoFillBackground()); // the picture behind shows through
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            QCOMPARE(button->text(), caption);
            QCOMPARE(screenReaderName(button), caption);
        } else if (auto* field = qobject_cast<TextField*>(w)) {
            QCOMPARE(field->text(), caption);
            QCOMPARE(field->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        } else if (auto* picture = qobject_cast<Picture*>(w)) {
            QVERIFY(!picture->pixmap().isNull());
            // The bitmap fills its control at 1x (at 2x it is twice as large in device pixels).
            QCOMPARE(picture->pixmap().deviceIndependentSize().toSize(), geometry.size());
        }
    }

    // A caption must never be cut off: it fits its control in the program's font.
    void captionsFit()
    {
        Form1 form;
        const QList<QWidget*> widgets = form.findChildren<QWidget*>();
        int checked = 0;
        for (QWidget* w : widgets) {
            if (!w->isVisibleTo(&form))
                continue;
            const QFontMetrics fm(w->font());
            if (auto* label = qobject_cast<Label*>(w)) {
                const QRect need =
                    fm.boundingRect(QRect(0, 0, label->width(), 1000),
                                    int(label->alignment()) | Qt::TextWordWrap, label->caption());
                QVERIFY2(need.width() <= label->width() && need.height() <= label->height(),
                         qPrintable(QStringLiteral("%1 needs %2x%3, has %4x%5")
                                        .arg(label->objectName())
                                        .arg(need.width())
                                        .arg(need.height())
                                        .arg(label->width())
                                        .arg(label->height())));
                ++checked;
            } else if (auto* button = qobject_cast<QPushButton*>(w)) {
                QVERIFY2(fm.horizontalAdvance(button->text()) + 4 <= button->width(),
                         qPrintable(button->objectName()));
                ++checked;
            }
        }
        QVERIFY(checked >= 25);
    }

    void hiddenStorage_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        for (const char* name : {"Frame4", "Frame3", "Frame5", "Text8", "Text9", "Text25", "Text26"})
            QTest::newRow(name) << QString::fromLatin1(name) << QString();
        QTest::newRow("Label12") << QStringLiteral("Label12") << QStringLiteral("Label12");
    }

    void hiddenStorage()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        Form1 form;
        form.show();
        auto* w = form.findChild<QWidget*>(name);
        QVERIFY(w);
        QVERIFY(!w->isVisible());
        QCOMPARE(w->focusPolicy(), Qt::NoFocus);
        // Placed beyond the client area's right or bottom edge.
        const QPoint origin = w->mapTo(&form, QPoint(0, 0));
        QVERIFY(origin.x() >= form.width() || origin.y() >= form.height());
        if (auto* field = qobject_cast<TextField*>(w)) {
            QCOMPARE(field->text(), text);
            QVERIFY(!field->isEnabled());
        } else if (auto* label = qobject_cast<Label*>(w)) {
            QCOMPARE(label->caption(), text);
        }
    }

    void slotsAndRingTimers()
    {
        Form1 form;
        // Position k's slot and slide timer, spelled out: Timer7 is not in the ring.
        const std::pair<const char*, const char*> names[] = {
            {"Text2", "Timer1"},   {"Text3", "Timer2"},   {"Text4", "Timer3"},   {"Text5", "Timer4"},
            {"Text6", "Timer5"},   {"Text7", "Timer6"},   {"Text11", "Timer8"},  {"Text12", "Timer9"},
            {"Text13", "Timer10"}, {"Text14", "Timer11"}, {"Text15", "Timer12"}, {"Text16", "Timer13"},
            {"Text17", "Timer14"}, {"Text18", "Timer15"}, {"Text19", "Timer16"}, {"Text20", "Timer17"},
            {"Text21", "Timer18"}, {"Text22", "Timer19"}, {"Text23", "Timer20"}, {"Text24", "Timer21"}};
        static_assert(std::size(names) == size_t(Form1::SlotCount));
        for (int k = 1; k <= Form1::SlotCount; ++k) {
            const auto [field, timerName] = names[k - 1];
            TextField* slot = form.slot(k);
            QCOMPARE(slot->objectName(), QString::fromLatin1(field));
            QCOMPARE(slot->parent(), form.Frame4);
            QCOMPARE(slot->geometry(), px(0, 240 * (k - 1), 3615, 285));
            QVERIFY(slot->text().isEmpty());
            QCOMPARE(ownEnabled(slot), k == 1);
            QCOMPARE(slot->focusPolicy(), Qt::NoFocus);

            WindowTimer* timer = form.slideTimer(k);
            QCOMPARE(timer->objectName(), QString::fromLatin1(timerName));
            QCOMPARE(timer->parent(), form.Frame3);
            QVERIFY(!timer->isEnabled());
            QCOMPARE(timer->period(), k == 1 ? 100 : 0);
        }
        for (auto [timer, period] :
             {std::pair{form.Timer7, 1000}, {form.Timer22, 100}, {form.Timer23, 100}}) {
            QVERIFY(timer->isEnabled());
            QCOMPARE(timer->period(), period);
        }
        // Exactly the named text fields exist: the twenty slots and six others.
        QCOMPARE(form.findChildren<TextField*>().size(), 26);
    }

    // Tab walks the enabled visible controls in their order and never reaches
    // hidden storage: what a user types at each stop never lands in a slot.
    void keyboardOrder_data()
    {
        QTest::addColumn<bool>("allEnabled");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("at first show")
            << false
            << QStringList{QStringLiteral("File1"),    QStringLiteral("List1"),    QStringLiteral("Dir1"),
                           QStringLiteral("Command4"), QStringLiteral("Command3"), QStringLiteral("Command5"),
                           QStringLiteral("Label10"),  QStringLiteral("Label13"),  QStringLiteral("Label16"),
                           QStringLiteral("Label11"),  QStringLiteral("Label19"),  QStringLiteral("File1")};
        QTest::newRow("every button enabled")
            << true
            << QStringList{QStringLiteral("File1"),    QStringLiteral("Command1"), QStringLiteral("Command2"),
                           QStringLiteral("List1"),    QStringLiteral("Dir1"),     QStringLiteral("Command4"),
                           QStringLiteral("Command3"), QStringLiteral("Command5"), QStringLiteral("Command6"),
                           QStringLiteral("Command7"), QStringLiteral("Label10"),  QStringLiteral("Label13"),
                           QStringLiteral("Label16"),  QStringLiteral("Label11"),  QStringLiteral("Label19"),
                           QStringLiteral("File1")};
    }

    void keyboardOrder()
    {
        QFETCH(bool, allEnabled);
        QFETCH(QStringList, expected);
        Form1 form;
        if (allEnabled) {
            for (QPushButton* b : {form.Command1, form.Command2, form.Command6, form.Command7})
                b->setEnabled(true);
        }
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTRY_COMPARE(QApplication::focusWidget(), form.File1);
        QStringList seen{QApplication::focusWidget()->objectName()};
        for (int i = 1; i < expected.size(); ++i) {
            // Letters, where the keyboard focus is: a list moves its current item at most.
            QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("typed"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(slotTexts(form), QStringList(Form1::SlotCount, QString()));
        QCOMPARE(seen, expected);
    }

    void screenshot()
    {
        const QString dir = qEnvironmentVariable("TILECAST_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("set TILECAST_SCREENSHOT_DIR to save a picture of the window");
        Form1 form;
        form.Label7->setCaption(QStringLiteral("alice@example.org"));
        form.Label17->setCaption(form.File1->path());
        // test_form1 and test_form1_2x may run at once: one picture per scale.
        const QPixmap picture = form.grab();
        const QString scale = picture.devicePixelRatio() == 1
                                  ? QString()
                                  : QStringLiteral("@%1x").arg(picture.devicePixelRatio());
        QVERIFY(picture.save(dir + QStringLiteral("/form1-offscreen%1.png").arg(scale)));
    }
};

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
