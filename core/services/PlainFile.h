// Files of the profile opened without ever blocking and written whole: a FIFO or a device
// where a regular file belongs is refused rather than waited on, and a write the system takes
// only in part is reported. openRegular and writeAll make plain system calls and allocate
// nothing, so the crash handler may call them from its signal handler.
#pragma once

#include <cstddef>
#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT PlainFile {
public:
    // open(2) of path with O_NONBLOCK and O_CLOEXEC added (mode 0644 for a new file); -1 with
    // errno set when it fails, EINVAL when what stands there is not a regular file.
    static int openRegular(const char* path, int flags);
    // Writes all size bytes at the file's offset, again after an interruption; false with errno
    // set when the system took less (ENOSPC when it took nothing).
    static bool writeAll(int fd, const char* data, std::size_t size);
    // The reason for an errno of the two above: "it is not a regular file" for EINVAL.
    static std::string reasonOf(int error);

private:
    PlainFile() = delete;
};

}  // namespace vpcore
