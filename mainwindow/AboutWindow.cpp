// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/AboutWindow.h"

void AboutWindow::show()
{
    if (!m_window)
        m_window = new Form2();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void AboutWindow::close()
{
    if (m_window)
        m_window->close();
}
