// The two folders the library finds its files in: the user's data folder (coordinates cache)
// and the installation folder (installed resources). Set at start-up, then read on any thread;
// the lock keeps a later set (tests set them between cases) from tearing a read.
#pragma once

#include <mutex>
#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT FileService {
public:
    static FileService& Instance();

    // Paths are kept as given; the program passes the data folder with a trailing "/".
    void setApplicationDataPath(const std::string& path);
    std::string getApplicationDataPath() const;
    void setInstallPath(const std::string& path);
    std::string getInstallPath() const;

private:
    FileService() = default;

    mutable std::mutex mutex;
    std::string applicationDataPath;
    std::string installPath;
};

}  // namespace vpcore
