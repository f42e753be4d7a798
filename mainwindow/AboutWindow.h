#pragma once

class Form2;

// "View Program Information": shows the one about window, creating it if
// there is none. It does not block the main window.
void showProgramInformation();
// Closes the about window if it is open.
void closeProgramInformation();
Form2* programInformation();
