// The two folders the library finds its files in: the user's data folder (coordinates cache)
// and the installation folder (installed resources). Set once at start-up, then only read.
#pragma once

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

    std::string applicationDataPath;
    std::string installPath;
};

}  // namespace vpcore
