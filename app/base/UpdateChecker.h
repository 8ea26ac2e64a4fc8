// Compares the installed version (settings key "Ombrix") with the version file the home site
// publishes. Used by the update page on the GUI thread; the fetch blocks it for at most 10 s.
// The home site is OMBRIX_HOME_HOST ("host" or "host:port") or a default.
#pragma once

#include <QString>
#include <QVersionNumber>

class UpdateChecker {
public:
    static UpdateChecker& instance();

    QString homePageUrl() const;
    // True when the home site publishes a version greater than the installed one. Both are
    // dotted versions compared part by part ("2.10" is newer than "2.9", "2.0" equals "2").
    // latestVersion receives the published version (null when the file holds none); error a
    // failure text.
    bool checkForUpdate(QString& error, QVersionNumber& latestVersion);
    // The whole text as a dotted version, blanks around it ignored; null when it is none.
    static QVersionNumber parseVersion(const QString& text);

private:
    UpdateChecker() = default;
};
