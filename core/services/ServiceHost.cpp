#include "services/ServiceHost.h"

#include <QByteArray>
#include <QtGlobal>

namespace vpcore {

std::string serviceHost(const char* variable, const std::string& defaultHost) {
    const QByteArray value = qgetenv(variable).trimmed();
    return value.isEmpty() ? defaultHost : value.toStdString();
}

}  // namespace vpcore
