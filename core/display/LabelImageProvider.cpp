#include "display/LabelImageProvider.h"

#include <QImageReader>

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
    auto image = std::make_unique<QImage>();
    Logger& logger = Logger::Instance();
    QString error;
    const std::unique_ptr<QNetworkReply> reply = RemoteResourceService::instance().getResource(
        QString::fromStdString(url), error, 10, MAX_IMAGE_BYTES);
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
    if (!reader.read(image.get())) {
        logger.log("ERROR",
                   "Unable to read image retrieved from URL " + reader.errorString().toStdString());
    }
    return image;
}

}  // namespace vpcore
