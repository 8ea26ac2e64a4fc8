// Where the program's installed files are: the data files and sounds ("resources/...") and the
// map page template ("maps/..."). An installed program keeps them in its data folder under
// share/ beside its bin/; a program run from its build folder finds the copies the build puts
// beside it.
#pragma once

#include <QString>

// installFolderFor(the program's own folder).
QString installFolder();

// The installed data folder (programFolder + "/../share/ombrix", cleaned) when it holds a
// "resources" folder, else programFolder itself.
QString installFolderFor(const QString& programFolder);
