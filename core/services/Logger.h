// The process-wide log: every line goes to standard output and, once a file name is set,
// to that file, which is emptied when opened; when it reaches its maximum size it becomes
// <file>.1 (replacing an older one) and a new file starts.
// log() may be called from any thread.
#pragma once

#include <fstream>
#include <memory>
#include <mutex>
#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT Logger {
public:
    static Logger& Instance();

    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // Names the log file; it is opened (and emptied) by the next line logged. An empty name
    // means standard output only. A different name closes the stream of the previous one.
    void setFile(const std::string& fileName);
    void setMaxFileSize(int kilobytes);

    // Levels used by the system: "INFO", "WARN", "ERROR".
    void log(const std::string& level, const std::string& text);

private:
    Logger();

    void writeToFile(const std::string& line);
    void openFile();

    std::string fileName;
    int maxFileSize;                      // bytes
    std::unique_ptr<std::ofstream> file;  // absent until the first line reaches the file
    std::mutex mutex;
};

}  // namespace vpcore
