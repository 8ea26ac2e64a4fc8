#include "base/InstallFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

// The data folder relative to the program's folder, from the install layout (bin/ and
// share/ombrix/ by default): relative, so the installed tree can be moved as a whole.
#ifndef OMBRIX_RELATIVE_DATA_FOLDER
#define OMBRIX_RELATIVE_DATA_FOLDER "../share/ombrix"
#endif

QString installFolder() {
    return installFolderFor(QCoreApplication::applicationDirPath());
}

QString installFolderFor(const QString& programFolder) {
    const QString installed =
        QDir::cleanPath(programFolder + "/" + QStringLiteral(OMBRIX_RELATIVE_DATA_FOLDER));
    if (QFileInfo(installed + "/resources").isDir()) {
        return installed;
    }
    return programFolder;
}
