#include "services/FileService.h"

namespace vpcore {

FileService& FileService::Instance() {
    static FileService instance;
    return instance;
}

void FileService::setApplicationDataPath(const std::string& path) {
    applicationDataPath = path;
}

std::string FileService::getApplicationDataPath() const {
    return applicationDataPath;
}

void FileService::setInstallPath(const std::string& path) {
    installPath = path;
}

std::string FileService::getInstallPath() const {
    return installPath;
}

}  // namespace vpcore
