#include "mainwindow/AboutWindow.h"

#include <QPointer>

#include "mainwindow/Form2.h"

namespace {
QPointer<Form2> about;
}

void showProgramInformation()
{
    if (!about)
        about = new Form2();
    about->show();
    about->raise();
    about->activateWindow();
}

void closeProgramInformation()
{
    if (about)
        about->close();
}

Form2* programInformation()
{
    return about;
}
