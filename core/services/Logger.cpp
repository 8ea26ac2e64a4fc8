#include "services/Logger.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>

namespace vpcore {

Logger& Logger::Instance() {
    static Logger instance;
    return instance;
}

Logger::Logger() : maxFileSize(1024 * 1024) {}

void Logger::setFile(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex);
    if (name != fileName) {
        // Otherwise later lines would still go to the stream of the previous file.
        file.reset();
    }
    fileName = name;
}

void Logger::setMaxFileSize(int kilobytes) {
    std::lock_guard<std::mutex> lock(mutex);
    maxFileSize = kilobytes * 1024;
}

void Logger::log(const std::string& level, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    const std::time_t now = std::time(nullptr);
    char buffer[64] = {};
    std::string timeText = ctime_r(&now, buffer) != nullptr ? buffer : "";
    const std::size_t newline = timeText.find_last_of('\n');
    if (newline != std::string::npos) {
        timeText.erase(newline);
    }
    const std::string line = timeText + " " + level + ": " + text + "\n";
    std::cout << line << std::flush;
    if (!fileName.empty()) {
        writeToFile(line);
    }
}

void Logger::openFile() {
    file = std::make_unique<std::ofstream>(fileName, std::ios::out | std::ios::trunc);
    if (!file->is_open()) {
        // Reported once: the failed stream stays, so no later line tries again.
        std::cout << "Could not open logging file " << fileName << std::endl;
    }
}

void Logger::writeToFile(const std::string& line) {
    if (!file) {
        openFile();
    }
    if (!file->is_open()) {
        return;
    }
    if (static_cast<long long>(file->tellp()) >= static_cast<long long>(maxFileSize)) {
        std::cout << "Max log file size reached. Resetting file." << std::endl;
        file->close();
        // The full file is kept as the one older generation, so the lines of the start-up
        // survive the first reset; rename replaces an older one.
        const std::string older = fileName + ".1";
        if (std::rename(fileName.c_str(), older.c_str()) != 0) {
            std::cout << "Could not keep the full logging file as " << older << ": "
                      << std::strerror(errno) << std::endl;
        }
        openFile();
        if (!file->is_open()) {
            return;
        }
    }
    *file << line << std::flush;
}

}  // namespace vpcore
