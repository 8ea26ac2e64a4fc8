// The settings family: every read and write goes through a fresh QSettings (INI format, under
// the organisation and application "Ombrix"), so nothing is cached. Called on the GUI thread,
// and the bool/int readers also on the scheduler's runner thread by the alert sounds.
#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>
#include <string>

// The value of key; a key never written is first given its default. Throws
// std::invalid_argument ("<key> default not defined.") for a key without a default.
QVariant getSetting(const QString& key);
// Writes the default of key into settings; throws as getSetting for a key without one.
void storeSettingDefault(QSettings& settings, const QString& key);

bool readBoolSetting(const QString& key);
int readIntSetting(const QString& key);

// Reads without writing a default: found is false and T() is returned for a missing key.
template <class T>
T readSetting(const QString& key, bool& found) {
    const QVariant value = QSettings().value(key, QVariant(QString("undefined")));
    if (value.canConvert<QString>() && value.toString() == "undefined") {
        found = false;
        return T();
    }
    found = true;
    return qvariant_cast<T>(value);
}

// Writes the value at once; a failed write is logged (WARN), the value stays in effect for
// this run.
void setSetting(const QString& key, const QVariant& value);

// Writes the pending changes of settings to its file. False, with error naming the file and
// the reason, when they did not reach it: the values stay in effect in this process (every
// QSettings of the file sees them) but are lost when it exits.
bool syncSettings(QSettings& settings, QString& error);

// Writes the installed version (the key "Ombrix") when the stored one differs; a start that
// changes nothing writes nothing.
void storeInstalledVersion(const QString& version);

// The converters the saved-locations list is marshalled with.
void toQString(const std::string& in, QString& out);
void toStdString(const QVariant& in, std::string& out);
