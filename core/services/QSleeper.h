// A plain call that puts the calling thread to sleep; the class is never started as a thread.
#pragma once

#include <QThread>

#include "services/VpCoreExport.h"

namespace QtUtils {

class VPCORE_EXPORT QSleeper : public QThread {
public:
    static void msleep(unsigned long milliseconds);

protected:
    void run() override;
};

}  // namespace QtUtils
