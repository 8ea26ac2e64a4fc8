// The frame of the program's run: main calls ombrixMain, which installs the crash handler,
// creates the application with its style sheet and click-sound filter, builds and shows the
// main window, runs the event loop and turns an exception that escapes into a fatal error.
#pragma once

#include <QString>
#include <functional>
#include <memory>

class QApplication;
class QLockFile;
class QWidget;

// The one application-wide style sheet.
QString applicationStyleSheet();

// Builds the window with makeWindow, shows it and runs the event loop. An exception from any
// of these (or from the window's destruction) is reported with reportFatalError; the result is
// then 1. Otherwise the event loop's exit code.
int runMainWindow(const std::function<std::unique_ptr<QWidget>()>& makeWindow);

int ombrixMain(int argc, char** argv);

// What a second program on the same profile says (in its box and on standard error).
QString alreadyRunningText();

// SIGTERM and SIGINT end the program as closing its window does, from any state: every running
// event loop ends (the main one and those of open message boxes and dialogs), and a window
// still being built is not shown or run, so runMainWindow returns 0 and the normal shutdown
// follows.
void quitOnTerminationSignals(QApplication& app);

// Takes the profile's lock (the file "Ombrix.lock" in the settings folder, which it creates):
// one profile, one running program. Null when another running program holds it; a lock left by
// a program that has ended is taken over. Writes nothing else into the folder.
std::unique_ptr<QLockFile> lockProfile();

// Keeps the loaded GL driver in the process until it ends. Only for leak-checking builds: the
// driver keeps per-context memory and is unloaded before the leak checker looks, which could
// then not tell whose those blocks are; kept loaded, they are known by the driver's name.
void keepGlDriverLoaded();
