#include "mainwindow/AboutWindow.h"

#include "mainwindow/Form2.h"

#include <QPointer>

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
