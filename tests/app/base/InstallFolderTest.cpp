// The program finds its installed files from its own folder: the data folder of an installed
// tree first, the build folder's copies beside it otherwise.
#include <gtest/gtest.h>

#include <QDir>
#include <QString>
#include <vector>

#include "TempDir.h"
#include "base/InstallFolder.h"

namespace {

TEST(InstallFolderTest, TheInstalledDataFolderComesFirstThenTheProgramsOwnFolder) {
    const struct {
        const char* name;
        std::vector<const char*> folders;  // made below the temporary root
        const char* expected;              // relative to the root
    } cases[] = {
        {"installed tree", {"bin", "share/ombrix/resources"}, "share/ombrix"},
        {"installed tree with a build-style copy too",
         {"bin/resources", "share/ombrix/resources"},
         "share/ombrix"},
        {"build folder", {"bin/resources"}, "bin"},
        {"data folder without its resources", {"bin", "share/ombrix/maps"}, "bin"},
        {"another program's data folder", {"bin", "share/other/resources"}, "bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir root;
        const QString rootPath = QString::fromStdString(root.path());
        for (const char* folder : c.folders) {
            ASSERT_TRUE(QDir().mkpath(rootPath + "/" + folder));
        }
        EXPECT_EQ(installFolderFor(rootPath + "/bin"), rootPath + "/" + c.expected);
    }
}

}  // namespace
