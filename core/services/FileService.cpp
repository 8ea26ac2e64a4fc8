#include "services/FileService.h"

namespace vpcore {

FileService& FileService::Instance() {
    static FileService instance;
    return instance;
}

void FileService::setApplicationDataPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex);
    applicationDataPath = path;
}

std::string FileService::getApplicationDataPath() const {
    std::lock_guard<std::mutex> lock(mutex);
    return applicationDataPath;
}

void FileService::setInstallPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex);
    installPath = path;
}

std::string FileService::getInstallPath() const {
    std::lock_guard<std::mutex> lock(mutex);
    return installPath;
}

}  // namespace vpcore
