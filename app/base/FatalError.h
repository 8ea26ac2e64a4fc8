// Reporting a condition the program cannot go on from: the message to the user, and the same
// text in "crash.log" in the user data folder. Called by main (GUI thread) for an exception
// that escaped the main window; may be called from any thread.
#pragma once

#include <QString>
#include <string>

// "The application has encountered an abnormal condition.\n" + detail + "\n" +
// "Sorry for the inconvenience.\n" + "Please restart the application."
QString fatalErrorText(const std::string& detail);

// On the GUI thread the message is shown in a modal box at once (which waits for the user);
// from another thread it is posted, on the GUI thread, to the active window, if any (the GUI
// thread answers within a second, else no window counts as found), and the caller then waits
// 7 s for the user to read it. Then writes "crash.log" (skipped silently when it cannot).
void reportFatalError(const std::string& detail);
