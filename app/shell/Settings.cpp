#include "Settings.h"

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
    error = "The settings file " + settings.fileName() +
            " could not be written: the disk is full or the folder is read-only.";
    return false;
}

void toQString(const std::string& in, QString& out) {
    out = QString::fromStdString(in);
}

void toStdString(const QVariant& in, std::string& out) {
    out = in.toString().toStdString();
}
