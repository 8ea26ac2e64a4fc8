#include "services/QSleeper.h"

namespace QtUtils {

void QSleeper::msleep(unsigned long milliseconds) {
    QThread::msleep(milliseconds);
}

void QSleeper::run() {}

}  // namespace QtUtils
