// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ProgramLayout.h"

#include <QApplication>

#include "app/Form3.h"
#include "controls/Fonts.h"
#include "mainwindow/Form1.h"

namespace testsupport {

const ProgramLayout& ProgramLayout::get()
{
    static const ProgramLayout layout;
    return layout;
}

ProgramLayout::ProgramLayout()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        qFatal("ProgramLayout builds the program's windows: it needs a QApplication (QTEST_MAIN)");
    // As main() does: captions that size themselves to their text measure as in the program.
    useProgramFont(*app);
    const Form3 splash;
    m_splash = splash.size();
    const Form1 main;
    m_main = main.size();
    for (const QWidget* control : main.findChildren<QWidget*>()) {
        if (!control->objectName().isEmpty())
            m_controls.insert(control->objectName(),
                              QRect(control->mapTo(&main, QPoint(0, 0)), control->size()));
    }
}

QPoint ProgramLayout::mainWindowPoint(const QString& control) const
{
    const auto found = m_controls.constFind(control);
    if (found == m_controls.constEnd())
        qFatal("the main window has no control %s", qPrintable(control));
    return found->center();
}

} // namespace testsupport
