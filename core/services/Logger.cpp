#include "services/Logger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>

#include "services/PlainFile.h"

namespace vpcore {

Logger& Logger::Instance() {
    static Logger instance;
    return instance;
}

Logger::Logger() : maxFileSize(1024 * 1024) {}

Logger::~Logger() {
    closeFile();
}

void Logger::setFile(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex);
    if (name != fileName) {
        // Otherwise later lines would still go to the file of the previous name.
        closeFile();
        openFailed = false;
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

void Logger::closeFile() {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

void Logger::openFile(bool keepPrevious) {
    struct stat info {};
    // A link to a regular file is followed.
    const bool exists = ::stat(fileName.c_str(), &info) == 0;
    // A FIFO would block the opening thread for good, a device take the lines anywhere.
    if (exists && !S_ISREG(info.st_mode)) {
        std::cout << "Could not open logging file " << fileName << ": it is not a regular file"
                  << std::endl;
        openFailed = true;
        return;
    }
    if (keepPrevious && exists && info.st_size > 0) {
        const std::string older = fileName + ".1";
        if (std::rename(fileName.c_str(), older.c_str()) != 0) {
            std::cout << "Could not keep the previous logging file as " << older << ": "
                      << std::strerror(errno) << std::endl;
        }
    }
    fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0644);
    fileSize = 0;
    if (fd < 0) {
        // Reported once: no later line tries again.
        std::cout << "Could not open logging file " << fileName << ": " << std::strerror(errno)
                  << std::endl;
        openFailed = true;
    }
}

void Logger::writeToFile(const std::string& line) {
    if (fd < 0 && !openFailed) {
        openFile(true);
    }
    if (fd < 0) {
        return;
    }
    if (fileSize >= static_cast<long long>(maxFileSize)) {
        std::cout << "Max log file size reached. Resetting file." << std::endl;
        closeFile();
        // The full file is kept as the one older generation, so the lines of the start-up
        // survive the first reset; rename replaces an older one.
        const std::string older = fileName + ".1";
        if (std::rename(fileName.c_str(), older.c_str()) != 0) {
            std::cout << "Could not keep the full logging file as " << older << ": "
                      << std::strerror(errno) << std::endl;
        }
        openFile(false);
        if (fd < 0) {
            return;
        }
    }
    if (!PlainFile::writeAll(fd, line.data(), line.size())) {
        const int reason = errno;
        // A torn line is cut off, so the file holds whole lines only.
        if (::ftruncate(fd, fileSize) == 0) {
            ::lseek(fd, fileSize, SEEK_SET);
        }
        if (!writeFailureTold) {
            // Standard error: standard output may be the very file that failed.
            std::cerr << "Could not write to logging file " << fileName << ": "
                      << std::strerror(reason) << ". Ombrix goes on without these lines."
                      << std::endl;
            writeFailureTold = true;
        }
        return;
    }
    fileSize += static_cast<long long>(line.size());
    writeFailureTold = false;
}

}  // namespace vpcore
