// Composes a stack of transparent image layers fetched over HTTP (the local radar: terrain,
// echo, counties, cities, highways, warnings, legend) into one picture on an ImageryWidget, and
// reloads them on a timer while the page is shown. Static layers are fetched once per run and
// kept in a memory cache. GUI thread only: the radar link, the timer, the page's show and hide.
// A fetch runs a local event loop, so a handler may be released (the page's back link, a new
// radar click) while it loads; it then stops at the next layer and touches nothing.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "radar/ImageryWidget.h"

class PageSwitcher;

class ImageOverlayHandler : public QObject {
    Q_OBJECT
public:
    // One layer: its URL and whether it may be kept in the memory cache for the whole run.
    using Layer = std::pair<std::string, bool>;
    using LayerList = std::vector<Layer>;

    // The page the radar link shows, and the handler's name there.
    static constexpr int RADAR_PAGE = 2;  // PageSwitcher::RADAR_PAGE
    static constexpr int RADAR_REFRESH_SECONDS = 300;
    // A radar layer is some 600 pixels a side; a larger one (a few kilobytes of PNG may declare
    // thousands of pixels a side, a hundred megabytes decoded, kept for the run when cacheable)
    // is not decoded and the layer is left out.
    static constexpr int MAX_LAYER_SIDE = 2048;
    static const char* const LOCAL_RADAR;  // "Local radar"

    // Takes over the widget's show and hide handlers (reload once, stop the timer).
    ImageOverlayHandler(ImageryWidget* widget, const std::string& name);
    ~ImageOverlayHandler() override;

    // Composes the layers in order (a layer that cannot be fetched is left out; with none, the
    // page reads "No images available.") and, with refreshSeconds > 0, reloads them every
    // refreshSeconds from now on.
    void loadImages(const LayerList& layers, int refreshSeconds);
    // One layer, through the memory cache; a null image when it cannot be fetched or decoded
    // or is larger than MAX_LAYER_SIDE a side (a null image is never cached). The caller
    // gets its own copy, never the cached image.
    static std::shared_ptr<QImage> loadImage(const Layer& layer);

    void stopAutoRefresh();
    // Reloads the stored layers once, if automatic refresh was ever started.
    void refresh();

    const std::string& getName() const { return name; }
    // The automatic refresh interval in milliseconds while it runs, else 0.
    int autoRefreshInterval() const;

    // Keeps the handler under its name; one already kept under that name is destroyed (its
    // timer stops). Returns the handler, which the registry owns.
    static ImageOverlayHandler* registerHandler(std::unique_ptr<ImageOverlayHandler> handler);
    // Destroys every kept handler; the page's back link does this.
    static void clearHandlers();
    // Destroys the kept handlers that draw into the given page (it is going away).
    static void releaseHandlers(const ImageryWidget* widget);
    static std::size_t handlerCount();
    // The handler kept under that name, or null.
    static ImageOverlayHandler* registeredHandler(const std::string& name);

    // The seven radar layers, bottom first: URL templates on the radar image server
    // (OMBRIX_RADAR_HOST, "host" or "host:port", or a default), "%s" standing for the radar id.
    static LayerList radarLayerTemplates();
    // What the radar link does: shows the radar page of the window that switches pages and
    // loads the current location's radar layers into it, refreshed every 300 s. radarUrl fills
    // the location's radar id into a template. Without a current location or radar site the
    // page reads "No images available."; without a window (pages null) nothing happens.
    static void showLocalRadar(PageSwitcher* pages,
                               const std::function<std::string(const std::string&)>& radarUrl);

private slots:
    void update();

private:
    QPointer<ImageryWidget> widget;  // not owned; null once the page is gone
    std::unique_ptr<QTimer> timer;   // null until automatic refresh starts
    LayerList layerList;             // what the timer and refresh reload
    std::string name;
};
