#include "base/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <stdexcept>

#include "services/Logger.h"

namespace {

// A key never written reads as this sentinel.
const char* const kUndefined = "undefined";

bool isUndefined(const QVariant& value) {
    return value.canConvert<QString>() && value.toString() == kUndefined;
}

void syncOrWarn(QSettings& settings) {
    QString error;
    if (!syncSettings(settings, error)) {
        vpcore::Logger::Instance().log("WARN", error.toStdString());
    }
}

}  // namespace

QVariant getSetting(const QString& key) {
    QSettings settings;
    const QVariant value = settings.value(key, QVariant(QString(kUndefined)));
    if (isUndefined(value)) {
        storeSettingDefault(settings, key);
        // The default is in effect even when it cannot be written.
        syncOrWarn(settings);
        return settings.value(key, QVariant());
    }
    return value;
}

void storeSettingDefault(QSettings& settings, const QString& key) {
    if (key == "SOUND_ALERT") {
        settings.setValue(key, QVariant(true));
    } else if (key == "PLAY_ALERT_UNTIL_VIEWED") {
        settings.setValue(key, QVariant(false));
    } else if (key == "PLAY_ALERT_INTERVAL_IN_MIN") {
        settings.setValue(key, QVariant(3));
    } else if (key == "PLAY_SOUNDS") {
        settings.setValue(key, QVariant(true));
    } else {
        throw std::invalid_argument(key.toStdString() + " default not defined.");
    }
}

bool readBoolSetting(const QString& key) {
    return qvariant_cast<bool>(getSetting(key));
}

int readIntSetting(const QString& key) {
    return qvariant_cast<int>(getSetting(key));
}

void setSetting(const QString& key, const QVariant& value) {
    QSettings settings;
    settings.setValue(key, value);
    syncOrWarn(settings);
}

bool syncSettings(QSettings& settings, QString& error) {
    settings.sync();
    switch (settings.status()) {
        case QSettings::NoError:
            return true;
        case QSettings::FormatError:
            error = "The settings file " + settings.fileName() +
                    " could not be written: it is not a settings file that can be read.";
            return false;
        case QSettings::AccessError:
            break;
    }
    const QFileInfo file(settings.fileName());
    QString reason = "the disk is full or the folder is read-only";
    if (file.exists() && !file.isFile()) {
        reason = "it is not a file but " + QString(file.isDir() ? "a folder" : "a special file");
    } else if (QFileInfo(file.absolutePath()).exists() && !QFileInfo(file.absolutePath()).isDir()) {
        reason = "its folder " + file.absolutePath() + " is not a folder";
    } else if (!file.dir().exists()) {
        reason = "its folder " + file.absolutePath() + " does not exist";
    } else if (QFileInfo(file.absolutePath() + "/" + file.fileName() + ".lock").isDir()) {
        reason = "its lock " + file.filePath() + ".lock is a folder";
    }
    error = "The settings file " + settings.fileName() + " could not be written: " + reason + ".";
    return false;
}

void storeInstalledVersion(const QString& version) {
    QSettings settings;
    if (settings.value("Ombrix").toString() != version) {
        settings.setValue("Ombrix", version);
        syncOrWarn(settings);
    }
}

void toQString(const std::string& in, QString& out) {
    out = QString::fromStdString(in);
}

void toStdString(const QVariant& in, std::string& out) {
    out = in.toString().toStdString();
}
