// The user's profile folder, where the settings file, the log, the coordinates cache and the
// crash files live, and the checks made on it at start, before anything in it is opened.
// folder() may be called from any thread; the start-up calls come from the GUI thread.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

class UserProfile {
public:
    // The folder of the settings file ("$XDG_CONFIG_HOME/Ombrix/"), ending in "/". Decided at
    // the first call, which must come after the application and organisation names are set,
    // and the same for the rest of the process; the settings file is neither read nor written
    // to find it.
    static std::string folder();
    // folder() + name.
    static QString filePath(const char* name);

    // What the start-up found wrong in the profile and must tell the user: one text per fault,
    // in the order found. Before the log is opened (so the previous run's log is still
    // Ombrix.log) and before the settings file is read:
    // - a profile file that is not a regular file (a FIFO, a folder, a device) is named and
    //   left alone; a settings file that is none is replaced, for this run, by an empty one in
    //   a private folder, so nothing the user changes is saved;
    // - a settings file that cannot be read as one is kept as Ombrix.ini.bad, and a fresh one
    //   is written;
    // - a crash of the previous run (its crash.log is not older than its log) is told once,
    //   with where its log (Ombrix.log.1 from now on) and crash.log are;
    // - folderError, when not empty, names why the folder cannot be written.
    static QStringList check(const QString& folderError);

    // Removes a lock that QSettings left beside the settings file when a run was killed
    // during a save: its owner is gone (or cannot be told), and the profile's own lock shows
    // that no other program of ours uses the file. A lock left in place would make every
    // settings write wait until it is 30 s old.
    static void removeStaleSettingsLock();

    // The kind of a file that is not a regular one ("a FIFO", "a folder", ...); empty for a
    // regular file or none at all.
    static QString irregularKind(const QString& path);

private:
    UserProfile() = delete;
};
