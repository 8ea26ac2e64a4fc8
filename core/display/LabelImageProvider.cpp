#include "display/LabelImageProvider.h"

#include <QImageReader>
#include <algorithm>
#include <string>

#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/RemoteResourceService.h"

namespace vpcore {

LabelImageProvider::LabelImageProvider(short propId) : propId(propId) {
    registerWithService();
}

LabelImageProvider::LabelImageProvider(const LabelImageProvider& other)
    : StringPropertyChangeListener(other),
      propId(other.propId),
      imageChangeDelegate(other.imageChangeDelegate) {}

LabelImageProvider& LabelImageProvider::operator=(const LabelImageProvider& other) {
    // A registered object stays registered for its own id; it only takes the other's
    // delegate and id for what it will do next.
    if (this != &other) {
        unregisterWithService();
        const bool wasRegistered = registered;
        propId = other.propId;
        imageChangeDelegate = other.imageChangeDelegate;
        if (wasRegistered) {
            registerWithService();
        }
    }
    return *this;
}

LabelImageProvider::~LabelImageProvider() {
    unregisterWithService();
}

void LabelImageProvider::registerWithService() {
    NotificationService::Instance().addPropertyChangeListener<std::string>(this, {propId});
    registered = true;
}

void LabelImageProvider::unregisterWithService() {
    if (registered) {
        NotificationService::Instance().removePropertyChangeListener<std::string>(this, {propId});
    }
}

void LabelImageProvider::setImageChangeDelegate(
    fastdelegate::FastDelegate1<const QImage&> delegate) {
    imageChangeDelegate = delegate;
}

void LabelImageProvider::handlePropertyChange(short, const std::string* const,
                                              const std::string* const newValue) {
    std::unique_ptr<QImage> image = getRemoteImageAutoPtr(*newValue);
    if (!image->isNull() && imageChangeDelegate) {
        imageChangeDelegate(*image);
    }
}

QImage* LabelImageProvider::getRemoteImage(const std::string& url) {
    return getRemoteImageAutoPtr(url).release();
}

std::unique_ptr<QImage> LabelImageProvider::getRemoteImageAutoPtr(const std::string& url) {
    return getRemoteImageAutoPtr(url, QDeadlineTimer(FETCH_SECONDS * 1000LL, Qt::PreciseTimer),
                                 QSize(MAX_ICON_SIDE, MAX_ICON_SIDE));
}

std::unique_ptr<QImage> LabelImageProvider::getRemoteImageAutoPtr(
    const std::string& url, const QDeadlineTimer& deadline, const QSize& maxSize,
    QNetworkReply::NetworkError* fetchError) {
    auto image = std::make_unique<QImage>();
    Logger& logger = Logger::Instance();
    QString error;
    const std::unique_ptr<QNetworkReply> reply = RemoteResourceService::instance().getResource(
        QString::fromStdString(url), error, deadline, MAX_IMAGE_BYTES);
    if (fetchError != nullptr) {
        // Read from the reply, not the service: another thread may have fetched since.
        *fetchError = RemoteResourceService::timedOut(*reply) ? QNetworkReply::TimeoutError
                      : error.isEmpty()                       ? QNetworkReply::NoError
                                                              : reply->error();
    }
    if (!error.isEmpty()) {
        logger.log("ERROR", "Unable to retrieve image from URL " + url + " " + error.toStdString());
        return image;
    }
    QImageReader reader(reply.get());
    reader.setAutoDetectImageFormat(true);
    if (!reader.canRead()) {
        logger.log("ERROR", "Unable to read image from URL " + url +
                                ". Corrupt image data or unsupported format.");
        logger.log("INFO", "Supported formats are:");
        for (const QByteArray& format : QImageReader::supportedImageFormats()) {
            logger.log("INFO", format.toStdString());
        }
        reply->readAll();
        return image;
    }
    // Read from the header, before a pixel is decoded.
    const QSize declared = reader.size();
    if (declared.isValid() &&
        (declared.width() > maxSize.width() || declared.height() > maxSize.height())) {
        logger.log("ERROR", "Unable to read image from URL " + url + ": it has " +
                                std::to_string(declared.width()) + "x" +
                                std::to_string(declared.height()) + " pixels, more than the " +
                                std::to_string(maxSize.width()) + "x" +
                                std::to_string(maxSize.height()) + " accepted.");
        return image;
    }
    // For a format that declares no size: the decoder allocates no more than such an image
    // takes (32 bits a pixel), in whole megabytes.
    const qint64 boundBytes = 4LL * maxSize.width() * maxSize.height();
    reader.setAllocationLimit(static_cast<int>(std::max<qint64>(1, (boundBytes >> 20) + 1)));
    if (!reader.read(image.get())) {
        logger.log("ERROR",
                   "Unable to read image retrieved from URL " + reader.errorString().toStdString());
        // A truncated file leaves a partly decoded picture, black where the data ended.
        *image = QImage();
    }
    return image;
}

}  // namespace vpcore
