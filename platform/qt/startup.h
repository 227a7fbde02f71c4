// The start of the program on this system, before WinMain.
#pragma once

// Makes the application, and with it the connection to the display. Without
// a display it says so plainly, with the way to the headless demo, and ends
// the program with exit code 1 (Qt alone would abort with advice to
// reinstall). Also has the platform's notices shown in message boxes.
void PlatQtRequireDisplay();
