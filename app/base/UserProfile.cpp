#include "base/UserProfile.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <csignal>
#include <memory>

namespace {

// The profile's files that the program opens; each must be a regular file or absent.
const char* const kProfileFiles[] = {"Ombrix.ini",     "Ombrix.ini.lock", "Ombrix.log",
                                     "CoordsCache.db", "crash.log",       "Vesparo.dmp"};

// A link is followed: what counts is the file it leads to.
bool statOf(const QString& path, struct stat& info) {
    return ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

// The settings of a run whose settings file cannot be used: empty, and gone at exit.
void useTemporarySettings() {
    static std::unique_ptr<QTemporaryDir> folder;
    if (!folder) {
        folder = std::make_unique<QTemporaryDir>();
    }
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder->path());
}

}  // namespace

std::string UserProfile::folder() {
    // The path QSettings gives the INI file of the user scope on this platform. Built rather
    // than asked of a QSettings, which would read the file on construction (and hang on a
    // FIFO in its place).
    static const std::string decided =
        QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                        "/" + QCoreApplication::organizationName())
            .toStdString() +
        "/";
    return decided;
}

QString UserProfile::filePath(const char* name) {
    return QString::fromStdString(folder()) + name;
}

QString UserProfile::irregularKind(const QString& path) {
    struct stat info {};
    if (!statOf(path, info) || S_ISREG(info.st_mode)) {
        return QString();
    }
    if (S_ISDIR(info.st_mode)) {
        return "a folder";
    }
    if (S_ISFIFO(info.st_mode)) {
        return "a FIFO (named pipe)";
    }
    if (S_ISSOCK(info.st_mode)) {
        return "a socket";
    }
    return "a device";
}

QStringList UserProfile::check(const QString& folderError) {
    QStringList notices;
    if (!folderError.isEmpty()) {
        notices << "Ombrix cannot write into its profile folder " +
                       QString::fromStdString(folder()) + ": " + folderError +
                       ".\nIt runs, but your settings, its log and the zip code coordinates "
                       "are not saved.";
    }

    bool settingsUsable = true;
    for (const char* name : kProfileFiles) {
        const QString path = filePath(name);
        const QString kind = irregularKind(path);
        if (kind.isEmpty()) {
            continue;
        }
        QString effect = "Ombrix leaves it alone and does not use it.";
        if (QString(name).startsWith("Ombrix.ini")) {
            settingsUsable = false;
            effect =
                "Ombrix leaves it alone: it runs with the default settings, and what you "
                "change is not saved.";
        }
        notices << path + " is " + kind + ", not a file. " + effect;
    }
    if (!settingsUsable) {
        useTemporarySettings();
    } else if (QFile::exists(filePath("Ombrix.ini"))) {
        const QString path = filePath("Ombrix.ini");
        QSettings::Status status = QSettings::NoError;
        {
            QSettings settings(path, QSettings::IniFormat);
            // The file is read at the first look inside.
            settings.allKeys();
            status = settings.status();
        }
        if (status == QSettings::FormatError) {
            const QString bad = path + ".bad";
            QFile::remove(bad);
            if (QFile::rename(path, bad)) {
                notices << "The settings file " + path + " could not be read: it is kept as " +
                               bad + ", and Ombrix starts with the default settings.";
            } else {
                notices << "The settings file " + path +
                               " could not be read, nor kept aside: Ombrix runs with the "
                               "default settings and does not save them.";
                useTemporarySettings();
            }
        }
    }

    // The crash handler writes crash.log after the run's last log line; the next run writes
    // its log at once, so a crash is told once.
    const QFileInfo crashLog(filePath("crash.log"));
    const QFileInfo log(filePath("Ombrix.log"));
    if (crashLog.isFile() && log.isFile() && crashLog.lastModified() >= log.lastModified()) {
        notices << "The last run of Ombrix crashed. Its log is kept as " + log.filePath() +
                       ".1 and the crash report is " + crashLog.filePath() + ".";
    }
    return notices;
}

void UserProfile::removeStaleSettingsLock() {
    const QString path = filePath("Ombrix.ini.lock");
    if (!QFileInfo(path).isFile()) {
        return;
    }
    QLockFile lock(path);
    qint64 pid = 0;
    QString host;
    QString application;
    // Our own lock is held (the caller holds the profile's), so only a lock of a live process
    // on this host may be somebody's.
    if (lock.getLockInfo(&pid, &host, &application) && pid > 0 &&
        host == QSysInfo::machineHostName() && ::kill(static_cast<pid_t>(pid), 0) == 0) {
        return;
    }
    QFile::remove(path);
}
