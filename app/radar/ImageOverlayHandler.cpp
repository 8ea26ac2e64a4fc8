#include "radar/ImageOverlayHandler.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <map>

#include "display/LabelImageProvider.h"
#include "services/Logger.h"
#include "services/ServiceHost.h"
#include "weather/LocationService.h"
#include "widgets/PageSwitcher.h"

namespace {

const char* const kNoImages = "No images available.";
const char* const kDefaultRadarRoot = "https://radar.weather.gov";

// Filled with cacheable layers only, never emptied: the static layers are fetched once a run.
std::map<std::string, std::shared_ptr<QImage>>& imageCache() {
    static std::map<std::string, std::shared_ptr<QImage>> cache;
    return cache;
}

std::map<std::string, std::shared_ptr<ImageOverlayHandler>>& handlerRegistry() {
    static std::map<std::string, std::shared_ptr<ImageOverlayHandler>> registry;
    return registry;
}

void logInfo(const std::string& text) {
    vpcore::Logger::Instance().log("INFO", text);
}

}  // namespace

const char* const ImageOverlayHandler::LOCAL_RADAR = "Local radar";

ImageOverlayHandler::ImageOverlayHandler(ImageryWidget* widget, const std::string& name)
    : QObject(nullptr), widget(widget), name(name) {
    // Guarded: a handler destroyed before the page must leave handlers that do nothing.
    const QPointer<ImageOverlayHandler> self(this);
    widget->setHideHandler([self] {
        if (self) {
            self->stopAutoRefresh();
        }
    });
    widget->setShowHandler([self] {
        if (self) {
            self->refresh();
        }
    });
    // The page outlives no handler of its own, and its back link stops every overlay. The
    // handler may be destroyed by these calls: Qt keeps the running slot alive until it returns.
    connect(widget, &ImageryWidget::aboutToBeDestroyed, this,
            [](const ImageryWidget* page) { releaseHandlers(page); });
    connect(widget, &ImageryWidget::backLinkClicked, this, [] { clearHandlers(); });
}

ImageOverlayHandler::~ImageOverlayHandler() {
    stopAutoRefresh();
}

std::shared_ptr<QImage> ImageOverlayHandler::loadImage(const Layer& layer) {
    const std::string& url = layer.first;
    auto cached = imageCache().find(url);
    if (cached != imageCache().end()) {
        logInfo("Loaded image " + url + " from memory cache");
        return std::make_shared<QImage>(*cached->second);
    }
    std::shared_ptr<QImage> image(vpcore::LabelImageProvider::getRemoteImageAutoPtr(
        url, QDeadlineTimer(vpcore::LabelImageProvider::FETCH_SECONDS * 1000LL, Qt::PreciseTimer),
        QSize(MAX_LAYER_SIDE, MAX_LAYER_SIDE)));
    // A failed fetch is not kept, so the layer is tried again on the next load.
    if (layer.second && !image->isNull() && imageCache().count(url) == 0) {
        logInfo("Storing image " + url + " in memory cache");
        imageCache()[url] = std::make_shared<QImage>(*image);
    }
    return image;
}

void ImageOverlayHandler::loadImages(const LayerList& layers, int refreshSeconds) {
    // Each fetch runs a local event loop: this handler or its page may be destroyed there, and
    // a nested load may replace the stored list that `layers` may be.
    const QPointer<ImageOverlayHandler> self(this);
    const LayerList ownLayers = layers;
    QPixmap picture;
    for (std::size_t i = 0; i < ownLayers.size(); ++i) {
        if (!widget) {
            return;
        }
        widget->setText(QString("Loading image %1 ...").arg(i + 1));
        const std::shared_ptr<QImage> image = loadImage(ownLayers[i]);
        if (!self) {
            return;
        }
        if (image->isNull()) {
            continue;
        }
        if (picture.isNull()) {
            picture = QPixmap::fromImage(*image);
        } else {
            QPainter painter(&picture);
            painter.drawImage(0, 0, *image);
        }
    }
    if (!widget) {
        return;
    }
    if (picture.isNull()) {
        widget->setText(kNoImages);
    } else {
        const QPixmap shown =
            picture.scaled(std::max(1, picture.width() - 20), std::max(1, picture.height() - 20),
                           Qt::IgnoreAspectRatio, Qt::FastTransformation);
        widget->setImage(shown.toImage());
    }

    if (refreshSeconds > 0) {
        logInfo("Auto refresh enabled.");
        layerList = ownLayers;
        timer = std::make_unique<QTimer>();
        connect(timer.get(), &QTimer::timeout, this, &ImageOverlayHandler::update);
        timer->start(refreshSeconds * 1000);
    }
}

void ImageOverlayHandler::stopAutoRefresh() {
    if (timer && timer->isActive()) {
        timer->stop();
        logInfo("Auto refresh stopped.");
    }
}

void ImageOverlayHandler::refresh() {
    if (!layerList.empty()) {
        loadImages(layerList, 0);
    }
}

void ImageOverlayHandler::update() {
    logInfo("Auto refreshing " + name);
    loadImages(layerList, 0);
}

int ImageOverlayHandler::autoRefreshInterval() const {
    return timer && timer->isActive() ? timer->interval() : 0;
}

ImageOverlayHandler* ImageOverlayHandler::registerHandler(
    std::unique_ptr<ImageOverlayHandler> handler) {
    ImageOverlayHandler* kept = handler.get();
    std::shared_ptr<ImageOverlayHandler>& slot = handlerRegistry()[kept->name];
    // Swapped out first: the old handler's destruction may run code that reaches the registry.
    std::shared_ptr<ImageOverlayHandler> previous = std::move(slot);
    slot = std::move(handler);
    previous.reset();
    return kept;
}

void ImageOverlayHandler::clearHandlers() {
    std::map<std::string, std::shared_ptr<ImageOverlayHandler>> released;
    released.swap(handlerRegistry());
}

void ImageOverlayHandler::releaseHandlers(const ImageryWidget* widget) {
    std::vector<std::shared_ptr<ImageOverlayHandler>> released;
    auto& registry = handlerRegistry();
    for (auto it = registry.begin(); it != registry.end();) {
        if (it->second->widget == widget) {
            released.push_back(std::move(it->second));
            it = registry.erase(it);
        } else {
            ++it;
        }
    }
}

std::size_t ImageOverlayHandler::handlerCount() {
    return handlerRegistry().size();
}

ImageOverlayHandler* ImageOverlayHandler::registeredHandler(const std::string& name) {
    const auto kept = handlerRegistry().find(name);
    return kept != handlerRegistry().end() ? kept->second.get() : nullptr;
}

ImageOverlayHandler::LayerList ImageOverlayHandler::radarLayerTemplates() {
    const std::string root = vpcore::serviceRoot("OMBRIX_RADAR_HOST", kDefaultRadarRoot);
    return {{root + "/ridge/Overlays/Topo/Short/%s_Topo_Short.jpg", true},
            {root + "/ridge/RadarImg/NCR/%s_NCR_0.gif", false},
            {root + "/ridge/Overlays/County/Short/%s_County_Short.gif", true},
            {root + "/ridge/Overlays/Cities/Short/%s_City_Short.gif", true},
            {root + "/ridge/Overlays/Highways/Short/%s_Highways_Short.gif", true},
            {root + "/ridge/Warnings/Short/%s_Warnings_0.gif", false},
            {root + "/ridge/Legend/NCR/%s_NCR_Legend_0.gif", false}};
}

void ImageOverlayHandler::showLocalRadar(
    PageSwitcher* pages, const std::function<std::string(const std::string&)>& radarUrl) {
    if (pages == nullptr) {
        return;
    }
    auto* page = qobject_cast<ImageryWidget*>(pages->showPage(RADAR_PAGE));
    if (page == nullptr) {
        return;
    }
    const vpcore::Location_t* location = vpcore::LocationService::Instance().getCurrentLocation();
    if (location == nullptr || location->radarId.empty()) {
        releaseHandlers(page);
        page->setText(kNoImages);
        return;
    }
    ImageOverlayHandler* handler =
        registerHandler(std::make_unique<ImageOverlayHandler>(page, LOCAL_RADAR));
    LayerList layers;
    for (const Layer& layer : radarLayerTemplates()) {
        layers.emplace_back(radarUrl(layer.first), layer.second);
    }
    handler->loadImages(layers, RADAR_REFRESH_SECONDS);
}
