#include "services/ServiceHost.h"

#include <QByteArray>
#include <QtGlobal>

namespace vpcore {

std::string serviceHost(const char* variable, const std::string& defaultHost) {
    const QByteArray value = qgetenv(variable).trimmed();
    return value.isEmpty() ? defaultHost : value.toStdString();
}

std::string serviceRoot(const char* variable, const std::string& defaultRoot) {
    const std::string host = serviceHost(variable, defaultRoot);
    return host.find("://") == std::string::npos ? "http://" + host : host;
}

}  // namespace vpcore
