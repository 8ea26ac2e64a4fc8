// The frame of the program's run: main calls ombrixMain, which installs the crash handler,
// creates the application with its style sheet and click-sound filter, builds and shows the
// main window, runs the event loop and turns an exception that escapes into a fatal error.
#pragma once

#include <QString>
#include <QStringList>
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

// Takes the profile's lock (the file "Ombrix.lock" in the profile folder, which it creates):
// one profile, one running program. Null, with the text to show in refusal, when a live
// program of ours holds it ("Ombrix is already running.") or when it is no file and so cannot
// be taken over (it names the path and what to do). A lock whose owner is gone or cannot be
// told (empty, garbage, written on another host) is taken over. When the folder cannot be
// written, folderError says why and the lock returned is not held: the program runs. Writes
// nothing else into the folder.
std::unique_ptr<QLockFile> lockProfile(QString& refusal, QString& folderError);

// Once the lock is held: checks the profile (UserProfile::check), removes a settings lock left
// by a killed run, prepares the crash handler and names the log file. Returns the notices for
// the user, which are also written to standard error and the log.
QStringList prepareProfile(const QString& folderError);
