#include "TempDir.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir() {
    if (!dir.isValid()) {
        throw std::runtime_error("Could not create a temporary folder");
    }
}

std::string TempDir::path() const {
    return dir.path().toStdString();
}

std::string TempDir::filePath(const std::string& name) const {
    return path() + "/" + name;
}

std::string TempDir::writeFile(const std::string& name, const std::string& text) const {
    const std::string target = filePath(name);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        throw std::runtime_error("Could not write " + target);
    }
    return target;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace testsupport
