// The process-wide log: every line goes to standard output and, once a file name is set,
// to that file. When the file is first opened, what it held (the previous run's log) becomes
// <file>.1; when it reaches its maximum size it becomes <file>.1 as well, and a new file
// starts. Only a regular file is opened. log() may be called from any thread.
#pragma once

#include <mutex>
#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT Logger {
public:
    static Logger& Instance();

    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // Names the log file; it is opened by the next line logged, after its old content is kept
    // as <file>.1. An empty name means standard output only. A different name closes the file
    // of the previous one.
    void setFile(const std::string& fileName);
    void setMaxFileSize(int kilobytes);

    // Levels used by the system: "INFO", "WARN", "ERROR".
    void log(const std::string& level, const std::string& text);

private:
    Logger();

    void writeToFile(const std::string& line);
    // keepPrevious: a file already there becomes <file>.1 first.
    void openFile(bool keepPrevious);
    void closeFile();

    std::string fileName;
    int maxFileSize;                // bytes
    int fd = -1;                    // -1 until the first line reaches the file
    bool openFailed = false;        // told once; no later line tries again
    long long fileSize = 0;         // bytes written since the file was opened
    bool writeFailureTold = false;  // until a write succeeds again
    std::mutex mutex;
};

}  // namespace vpcore
