// Compares the installed version (settings key "Ombrix") with the version file the home site
// publishes. Used by the update page on the GUI thread; the fetch blocks it for at most 10 s.
// The home site is OMBRIX_HOME_HOST ("host" or "host:port") or a default.
#pragma once

#include <QString>

class UpdateChecker {
public:
    static UpdateChecker& instance();

    QString homePageUrl() const;
    // True when the home site publishes a version greater than the installed one.
    // latestVersion receives the published number (0 when unreadable); error a failure text.
    bool checkForUpdate(QString& error, float& latestVersion);

private:
    UpdateChecker() = default;
};
