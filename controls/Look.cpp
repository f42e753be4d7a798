// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Look.h"

#include <QApplication>
#include <QStyleHints>
#include <QWidget>

#include "controls/Colours.h"
#include "controls/Fonts.h"
#include "controls/ProgramStyle.h"

namespace {
bool gtkBridgeTurnedOff = false;
}

void prepareProgramLook()
{
    // Also keeps a theme from reading and applying its settings later on (qt6ct does
    // that from the event loop, replacing the application's font).
    QApplication::setDesktopSettingsAware(false);
    // The gtk3 platform theme starts GTK, whose accessibility bridge would register this
    // process with AT-SPI as an application of its own, holding nothing, in place of Qt's:
    // a screen reader would find no window of Tilecast. GTK draws nothing here, so its bridge
    // stays off while the theme starts (see useProgramLook()).
    if (!qEnvironmentVariableIsSet("NO_AT_BRIDGE")) {
        qputenv("NO_AT_BRIDGE", "1");
        gtkBridgeTurnedOff = true;
    }
}

void useProgramLook(QApplication& app)
{
    // The programs Tilecast starts (a browser) keep their own accessibility.
    if (gtkBridgeTurnedOff)
        qunsetenv("NO_AT_BRIDGE");

    // The style first: setting it reloads the theme's fonts for each kind of widget,
    // which setting the application's font afterwards drops again. A style named in
    // QT_STYLE_OVERRIDE or with -style is replaced here too.
    QApplication::setStyle(new ProgramStyle);
    // Also drops the palettes a theme gives each kind of widget.
    QApplication::setPalette(programPalette());
    useProgramFont(app);

    // A theme that is not to read the desktop's settings may answer with values it never set:
    // qt6ct's double-click time is then whatever its memory held (0 and 38 ms were seen), and
    // no double-click in the file list would count. Qt's own default stands in for a time no
    // one could use.
    QStyleHints* hints = QGuiApplication::styleHints();
    const int doubleClick = hints->mouseDoubleClickInterval();
    if (doubleClick < 100 || doubleClick > 5000)
        hints->setMouseDoubleClickInterval(400);
}

QPalette programPalette()
{
    using namespace colours;
    struct Role
    {
        QPalette::ColorRole role;
        QColor normal;
        QColor disabled;
    };
    const Role roles[] = {
        {QPalette::Window, white, white},
        {QPalette::WindowText, darkGrey, disabledText},
        {QPalette::Base, white, buttonFace},
        {QPalette::AlternateBase, buttonFace, buttonFace},
        {QPalette::ToolTipBase, white, white},
        {QPalette::ToolTipText, black, black},
        {QPalette::PlaceholderText, disabledText, disabledText},
        {QPalette::Text, black, disabledText},
        {QPalette::Button, buttonFace, buttonFace},
        {QPalette::ButtonText, black, disabledText},
        {QPalette::BrightText, white, white},
        {QPalette::Light, white, white},
        {QPalette::Midlight, QColor(227, 227, 227), QColor(227, 227, 227)},
        {QPalette::Mid, QColor(160, 160, 160), QColor(160, 160, 160)},
        {QPalette::Dark, QColor(105, 105, 105), QColor(105, 105, 105)},
        {QPalette::Shadow, black, black},
        {QPalette::Highlight, selection, disabledText},
        {QPalette::HighlightedText, white, white},
        {QPalette::Link, hoverBlue, hoverBlue},
        {QPalette::LinkVisited, hoverBlue, hoverBlue},
    };
    QPalette palette;
    for (const Role& r : roles) {
        palette.setColor(QPalette::Active, r.role, r.normal);
        palette.setColor(QPalette::Inactive, r.role, r.normal);
        palette.setColor(QPalette::Disabled, r.role, r.disabled);
    }
    return palette;
}

void applyProgramLook(QWidget* window)
{
    window->setPalette(programPalette());
    window->setFont(programFont());
    window->setAttribute(Qt::WA_KeyboardFocusChange);
}
