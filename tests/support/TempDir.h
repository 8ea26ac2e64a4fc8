// A fresh folder for one test, removed with everything in it when the helper goes.
#pragma once

#include <QTemporaryDir>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();

    // The folder, without a trailing "/".
    std::string path() const;
    // path() + "/" + name.
    std::string filePath(const std::string& name) const;
    // Writes text to a file in the folder and returns its path.
    std::string writeFile(const std::string& name, const std::string& text) const;

private:
    QTemporaryDir dir;
};

// The whole content of a file, empty when it cannot be read.
std::string readFile(const std::string& path);

}  // namespace testsupport
