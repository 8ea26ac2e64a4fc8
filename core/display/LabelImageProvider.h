// Turns a URL-valued string property (the condition icon, the provider logo) into a decoded
// image handed to one delegate; its static download-and-decode is also used on its own (the
// forecast icons, the radar layers). Everything here runs on the calling thread: for the
// listener that is the notifying (runner) thread, so receivers post the image to the GUI.
#pragma once

#include <QDeadlineTimer>
#include <QImage>
#include <QNetworkReply>
#include <QSize>
#include <memory>
#include <string>

#include "services/FastDelegate.h"
#include "services/IPropertyChangeListener.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT LabelImageProvider : public StringPropertyChangeListener {
public:
    // A condition icon weighs a few kilobytes and a radar layer a few hundred: a larger reply
    // is not read further and gives a null image.
    static constexpr qint64 MAX_IMAGE_BYTES = 4 << 20;  // 4 MiB
    // A few kilobytes of PNG may declare a picture of a hundred megabytes once decoded: an
    // image is decoded only when its declared size is within the caller's bound, which for an
    // icon (some 86 pixels a side) is this one.
    static constexpr int MAX_ICON_SIDE = 512;
    static constexpr int FETCH_SECONDS = 10;

    explicit LabelImageProvider(short propId);
    // The copy follows the same id with the same delegate but is not registered.
    LabelImageProvider(const LabelImageProvider& other);
    LabelImageProvider& operator=(const LabelImageProvider& other);
    ~LabelImageProvider() override;

    void setImageChangeDelegate(fastdelegate::FastDelegate1<const QImage&> delegate);

    // Fetches the image behind *newValue and hands it to the delegate unless it is null.
    void handlePropertyChange(short propId, const std::string* const oldValue,
                              const std::string* const newValue) override;

    // Never null; the caller owns the image, which is null (isNull()) after a failed
    // download or decode, an image larger than MAX_ICON_SIDE a side, or one that is only partly
    // read (a truncated file). Waits at most 10 s for the reply, reads at most MAX_IMAGE_BYTES.
    static QImage* getRemoteImage(const std::string& url);
    static std::unique_ptr<QImage> getRemoteImageAutoPtr(const std::string& url);
    // The same, ended at the caller's deadline and bounded by its largest size (width and
    // height each). fetchError, when given, receives the fetch's outcome (TimeoutError after
    // the deadline, NoError when the image was fetched, whether or not it could be decoded).
    static std::unique_ptr<QImage> getRemoteImageAutoPtr(
        const std::string& url, const QDeadlineTimer& deadline, const QSize& maxSize,
        QNetworkReply::NetworkError* fetchError = nullptr);

private:
    void registerWithService();
    void unregisterWithService();

    short propId;
    fastdelegate::FastDelegate1<const QImage&> imageChangeDelegate;
    bool registered = false;
};

}  // namespace vpcore
