#include "app/Exit.h"

#include "app/Shell.h"
#include "mainwindow/AboutWindow.h"

void exitApplication(Shell& shell)
{
    if (Form1* form = shell.mainWindow())
        form->close();
    closeProgramInformation();
    if (Form3* splash = shell.splash())
        splash->close();
}
