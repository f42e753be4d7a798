#include "app/Exit.h"

#include "app/Shell.h"

void exitApplication(Shell& shell)
{
    if (Form1* form = shell.mainWindow())
        form->close();
    // The about window closes here too, once the program has one.
    if (Form3* splash = shell.splash())
        splash->close();
}
