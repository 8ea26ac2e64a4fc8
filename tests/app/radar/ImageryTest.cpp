#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QStackedLayout>
#include <QTest>
#include <QTimer>
#include <set>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "HttpTestServer.h"
#include "LogCapture.h"
#include "conditions/CurrentConditionsPanel.h"
#include "radar/ImageOverlayHandler.h"
#include "radar/ImageryWidget.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/TaskScheduler.h"
#include "shell/Vesparo.h"
#include "weather/LocationService.h"
#include "widgets/VPLinkLabel.h"

namespace {

using testsupport::HttpTestServer;
using Layers = ImageOverlayHandler::LayerList;

enum LayerIndex { TERRAIN, ECHO, COUNTIES, CITIES, HIGHWAYS, WARNINGS, LEGEND, LAYER_COUNT };

const int kWidth = 120;
const int kHeight = 100;

const QColor kGround(128, 128, 128);
const QColor kEcho(0, 200, 0);
const QColor kCity(255, 255, 255);
const QColor kHighway(160, 60, 40);
const QColor kWarning(255, 0, 0);
const QColor kLegend(0, 0, 255);

std::string pngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// One layer of kWidth x kHeight: transparent but for one opaque rectangle (the terrain is
// opaque throughout), as the radar overlays are.
std::string layerBytes(int index) {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    switch (index) {
        case TERRAIN:
            painter.fillRect(image.rect(), kGround);
            break;
        case ECHO:
            painter.fillRect(10, 10, 40, 30, kEcho);
            break;
        case COUNTIES:
            painter.fillRect(0, 0, kWidth, 2, Qt::yellow);
            break;
        case CITIES:
            painter.fillRect(60, 10, 50, 30, kCity);
            break;
        case HIGHWAYS:  // over part of the echo
            painter.fillRect(30, 30, 60, 30, kHighway);
            break;
        case WARNINGS:
            painter.fillRect(10, 70, 20, 20, kWarning);
            break;
        case LEGEND:
            painter.fillRect(0, 90, kWidth, 10, kLegend);
            break;
    }
    painter.end();
    return pngBytes(image);
}

std::string withRadarId(std::string text, const std::string& radarId) {
    for (std::size_t at = text.find("%s"); at != std::string::npos; at = text.find("%s", at)) {
        text.replace(at, 2, radarId);
    }
    return text;
}

// The path of a layer on the server, for its request count.
std::string pathOf(const std::string& url, const HttpTestServer& server) {
    return url.substr(server.url("").size());
}

// The radar layers of one site on the loopback server, leaving out the missing ones (404):
// the small layers above, or the fixture NWS's layers (600 x 550 GIFs over a JPEG terrain)
// of one of its radar sites. Every test uses a site of its own: the memory cache lives as
// long as the test program.
class RadarSite {
public:
    enum Source { SMALL_LAYERS, FIXTURE_NWS_LAYERS };

    RadarSite(HttpTestServer& server, const std::string& id, const std::set<int>& missing = {},
              Source source = SMALL_LAYERS)
        : server(server) {
        qputenv("OMBRIX_RADAR_HOST", server.host().c_str());
        for (const auto& layer : ImageOverlayHandler::radarLayerTemplates()) {
            layers.emplace_back(withRadarId(layer.first, id), layer.second);
        }
        qunsetenv("OMBRIX_RADAR_HOST");
        for (int i = 0; i < LAYER_COUNT; ++i) {
            if (missing.count(i) == 0) {
                server.addRoute(path(i),
                                source == SMALL_LAYERS
                                    ? HttpTestServer::ok(layerBytes(i), "image/gif")
                                    : HttpTestServer::fixture("nws" + path(i), "image/gif"));
            }
        }
    }

    std::string path(int index) const { return pathOf(layers[index].first, server); }
    std::vector<int> requestCounts() const {
        std::vector<int> counts;
        for (int i = 0; i < LAYER_COUNT; ++i) {
            counts.push_back(server.requestCount(path(i)));
        }
        return counts;
    }

    HttpTestServer& server;
    Layers layers;
};

QLabel* pictureOf(ImageryWidget& page) {
    return page.findChild<QLabel*>("pictureLabel");
}

QImage shownImage(ImageryWidget& page) {
    return pictureOf(page)->pixmap().toImage();
}

TEST(ImageryWidgetTest, StartsWithoutImagesAndABackLink) {
    ImageryWidget page(nullptr);
    QLabel* picture = pictureOf(page);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->text(), "No images available.");
    EXPECT_EQ(picture->alignment(), Qt::AlignCenter);
    auto* link = page.findChild<VPLinkLabel*>("closeLink");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text(), "Back to Current Conditions");
}

TEST(ImageOverlayHandlerTest, TheRadarLayersInOrderOnTheRadarHost) {
    const std::vector<std::pair<std::string, bool>> paths = {
        {"/ridge/Overlays/Topo/Short/%s_Topo_Short.jpg", true},
        {"/ridge/RadarImg/NCR/%s_NCR_0.gif", false},
        {"/ridge/Overlays/County/Short/%s_County_Short.gif", true},
        {"/ridge/Overlays/Cities/Short/%s_City_Short.gif", true},
        {"/ridge/Overlays/Highways/Short/%s_Highways_Short.gif", true},
        {"/ridge/Warnings/Short/%s_Warnings_0.gif", false},
        {"/ridge/Legend/NCR/%s_NCR_Legend_0.gif", false}};
    const struct {
        const char* variable;  // null: unset
        std::string root;
    } cases[] = {{nullptr, "https://radar.weather.gov"},
                 {"127.0.0.1:8080", "http://127.0.0.1:8080"},
                 {"https://radar.example.org", "https://radar.example.org"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root);
        if (c.variable != nullptr) {
            qputenv("OMBRIX_RADAR_HOST", c.variable);
        }
        const Layers layers = ImageOverlayHandler::radarLayerTemplates();
        qunsetenv("OMBRIX_RADAR_HOST");
        ASSERT_EQ(layers.size(), paths.size());
        for (std::size_t i = 0; i < paths.size(); ++i) {
            EXPECT_EQ(layers[i].first, c.root + paths[i].first);
            EXPECT_EQ(layers[i].second, paths[i].second);
        }
    }
}

// The shown picture is the layers drawn in order over the first one, 20 pixels narrower and
// lower; a layer that cannot be fetched is left out and the others still show.
TEST(ImageOverlayHandlerTest, ComposesTheLayersInOrderWithoutTheMissingOne) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    HttpTestServer server;
    RadarSite site(server, "CMP", {COUNTIES});
    testsupport::LogCapture log;
    ImageryWidget page(nullptr);
    ImageOverlayHandler handler(&page, "Local radar");

    handler.loadImages(site.layers, 0);

    EXPECT_EQ(site.requestCounts(), (std::vector<int>{1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(log.count("ERROR: Unable to retrieve image from URL " + site.layers[COUNTIES].first),
              1);
    const QImage shown = shownImage(page);
    ASSERT_EQ(shown.size(), QSize(kWidth - 20, kHeight - 20));
    // Scaled without smoothing: a shown pixel (x, y) comes from about (1.2 x, 1.25 y).
    const struct {
        QPoint at;
        QColor colour;
        const char* what;
    } samples[] = {
        {{83, 48}, kGround, "terrain alone"}, {{17, 16}, kEcho, "echo over the terrain"},
        {{71, 20}, kCity, "cities"},          {{33, 28}, kHighway, "highways over the echo"},
        {{17, 64}, kWarning, "warnings"},     {{50, 76}, kLegend, "legend"}};
    for (const auto& sample : samples) {
        SCOPED_TRACE(sample.what);
        EXPECT_EQ(shown.pixelColor(sample.at).rgb(), sample.colour.rgb());
    }
    EXPECT_EQ(log.count("Storing image " + site.layers[COUNTIES].first), 0);
    // No timer without refresh seconds.
    EXPECT_EQ(handler.autoRefreshInterval(), 0);
    EXPECT_FALSE(log.contains("Auto refresh enabled."));
}

TEST(ImageOverlayHandlerTest, WithoutAFirstLayerTheNextOneIsTheGroundAndWithoutAnyNoImagesShow) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    HttpTestServer server;
    {
        RadarSite site(server, "NTR", {TERRAIN});
        ImageryWidget page(nullptr);
        ImageOverlayHandler handler(&page, "Local radar");
        handler.loadImages(site.layers, 0);
        const QImage shown = shownImage(page);
        ASSERT_EQ(shown.size(), QSize(kWidth - 20, kHeight - 20));
        EXPECT_EQ(shown.pixelColor(17, 16).rgb(), kEcho.rgb());
        EXPECT_EQ(shown.pixelColor(83, 48).alpha(), 0);
    }
    {
        RadarSite site(server, "NON",
                       {TERRAIN, ECHO, COUNTIES, CITIES, HIGHWAYS, WARNINGS, LEGEND});
        ImageryWidget page(nullptr);
        page.setImage(QImage(10, 10, QImage::Format_RGB32));  // an earlier picture goes
        ImageOverlayHandler handler(&page, "Local radar");
        handler.loadImages(site.layers, 0);
        EXPECT_EQ(site.requestCounts(), (std::vector<int>{1, 1, 1, 1, 1, 1, 1}));
        EXPECT_EQ(pictureOf(page)->text(), "No images available.");
        EXPECT_TRUE(pictureOf(page)->pixmap().isNull());
    }
}

// Terrain, counties, cities and highways are fetched once a run; the echo, warnings and legend
// on every load. A static layer that failed is tried again. Drawing never changes the cache.
TEST(ImageOverlayHandlerTest, StaticLayersComeFromTheMemoryCacheAfterTheFirstLoad) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    HttpTestServer server;
    RadarSite site(server, "CCH", {CITIES});
    testsupport::LogCapture log;
    ImageryWidget page(nullptr);
    ImageOverlayHandler handler(&page, "Local radar");

    handler.loadImages(site.layers, 0);
    const QImage first = shownImage(page);
    for (int i : {TERRAIN, COUNTIES, HIGHWAYS}) {
        EXPECT_EQ(log.count("INFO: Storing image " + site.layers[i].first + " in memory cache"), 1);
    }
    EXPECT_EQ(log.count("in memory cache"), 3);

    log.clear();
    server.addRoute(site.path(CITIES), HttpTestServer::ok(layerBytes(CITIES), "image/gif"));
    handler.loadImages(site.layers, 0);
    EXPECT_EQ(site.requestCounts(), (std::vector<int>{1, 2, 1, 2, 1, 2, 2}));
    for (int i : {TERRAIN, COUNTIES, HIGHWAYS}) {
        EXPECT_EQ(log.count("INFO: Loaded image " + site.layers[i].first + " from memory cache"),
                  1);
    }
    EXPECT_EQ(log.count("INFO: Storing image " + site.layers[CITIES].first + " in memory cache"),
              1);

    log.clear();
    handler.loadImages(site.layers, 0);
    EXPECT_EQ(site.requestCounts(), (std::vector<int>{1, 3, 1, 2, 1, 3, 3}));
    EXPECT_EQ(log.count(" from memory cache"), 4);
    const QImage third = shownImage(page);
    EXPECT_EQ(third.pixelColor(71, 20).rgb(), kCity.rgb());
    // Everything but the cities, which were missing the first time, is drawn as before.
    EXPECT_EQ(third.pixelColor(83, 48).rgb(), first.pixelColor(83, 48).rgb());
    EXPECT_EQ(third.pixelColor(17, 16).rgb(), first.pixelColor(17, 16).rgb());
    EXPECT_EQ(third.pixelColor(33, 28).rgb(), kHighway.rgb());

    // Callers get copies: drawing on one leaves the cached terrain as it was.
    const std::shared_ptr<QImage> copy = ImageOverlayHandler::loadImage(site.layers[TERRAIN]);
    copy->fill(Qt::black);
    EXPECT_EQ(ImageOverlayHandler::loadImage(site.layers[TERRAIN])->pixelColor(5, 5).rgb(),
              kGround.rgb());
}

// A layer that declares a picture too large for a radar layer, or that is cut off, is left out
// and never cached: the rest of the picture is drawn, and the next load asks for it again.
TEST(ImageOverlayHandlerTest, ALayerTooLargeOrCutOffIsLeftOutAndNotCached) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    HttpTestServer server;
    RadarSite site(server, "BMB");
    server.addRoute(site.path(COUNTIES), HttpTestServer::hostile("huge-image"));
    server.addRoute(site.path(CITIES), HttpTestServer::hostile("truncated-png"));
    testsupport::LogCapture log;
    ImageryWidget page(nullptr);
    ImageOverlayHandler handler(&page, "Local radar");

    handler.loadImages(site.layers, 0);
    handler.loadImages(site.layers, 0);

    EXPECT_EQ(site.requestCounts(), (std::vector<int>{1, 2, 2, 2, 1, 2, 2}));
    EXPECT_EQ(log.count("ERROR: Unable to read image from URL " + site.layers[COUNTIES].first +
                        ": it has 5600x5600 pixels, more than the 2048x2048 accepted."),
              2)
        << log.text();
    EXPECT_EQ(log.count("ERROR: Unable to read image retrieved from URL "), 2) << log.text();
    EXPECT_EQ(log.count("Storing image " + site.layers[COUNTIES].first), 0);
    EXPECT_EQ(log.count("Storing image " + site.layers[CITIES].first), 0);
    const QImage shown = shownImage(page);
    ASSERT_EQ(shown.size(), QSize(kWidth - 20, kHeight - 20));
    // No black block where the cut-off cities would have been.
    EXPECT_EQ(shown.pixelColor(83, 48).rgb(), kGround.rgb());
    EXPECT_EQ(shown.pixelColor(17, 16).rgb(), kEcho.rgb());
}

// The timer reloads every layer that is not cached; hiding the page stops it, showing the
// page again reloads once and leaves the timer stopped.
TEST(ImageOverlayHandlerTest, RefreshesOnTheTimerUntilThePageIsHidden) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    HttpTestServer server;
    RadarSite site(server, "TMR");
    testsupport::LogCapture log;
    ImageryWidget page(nullptr);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    ImageOverlayHandler handler(&page, "Local radar");

    handler.loadImages(site.layers, 1);
    EXPECT_EQ(log.count("INFO: Auto refresh enabled."), 1);
    EXPECT_EQ(handler.autoRefreshInterval(), 1000);
    ASSERT_TRUE(apptest::waitFor([&] { return server.requestCount(site.path(ECHO)) >= 2; }));
    EXPECT_TRUE(log.contains("INFO: Auto refreshing Local radar"));
    ASSERT_TRUE(apptest::waitFor([&] { return !shownImage(page).isNull(); }));
    EXPECT_EQ(shownImage(page).pixelColor(17, 16).rgb(), kEcho.rgb());

    page.hide();
    EXPECT_EQ(log.count("INFO: Auto refresh stopped."), 1);
    EXPECT_EQ(handler.autoRefreshInterval(), 0);
    const int echoes = server.requestCount(site.path(ECHO));
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    EXPECT_EQ(server.requestCount(site.path(ECHO)), echoes + 1);
    EXPECT_EQ(handler.autoRefreshInterval(), 0);
    const int ticks = log.count("Auto refreshing");
    QTest::qWait(1500);  // past one more interval, which must bring nothing
    EXPECT_EQ(log.count("Auto refreshing"), ticks);
    EXPECT_EQ(server.requestCount(site.path(ECHO)), echoes + 1);
}

TEST(ImageOverlayHandlerTest, ReleasedHandlersLeaveThePageHandlersHarmless) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    HttpTestServer server;
    RadarSite site(server, "REL");
    ImageryWidget page(nullptr);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    {
        ImageOverlayHandler handler(&page, "Local radar");
        handler.loadImages(site.layers, 300);
    }
    page.hide();
    page.show();
    apptest::drainEvents();
    EXPECT_EQ(server.requestCount(site.path(ECHO)), 1);

    // A page that goes first takes its registered handlers with it.
    auto* other = new ImageryWidget(nullptr);
    QPointer<ImageOverlayHandler> handler = ImageOverlayHandler::registerHandler(
        std::make_unique<ImageOverlayHandler>(other, "Other radar"));
    handler->loadImages(site.layers, 300);
    EXPECT_EQ(ImageOverlayHandler::handlerCount(), 1u);
    delete other;
    EXPECT_TRUE(handler.isNull());
    EXPECT_EQ(ImageOverlayHandler::handlerCount(), 0u);
}

// A fetch runs a local event loop, where the back link or a closing window may release the
// handler or its page: the load stops there and fetches nothing more.
TEST(ImageOverlayHandlerTest, AHandlerReleasedWhileItLoadsStopsThere) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    HttpTestServer server;
    for (const bool pageGoes : {false, true}) {
        SCOPED_TRACE(pageGoes ? "page destroyed" : "handlers cleared");
        RadarSite site(server, pageGoes ? "RPG" : "RHD");
        auto* page = new ImageryWidget(nullptr);
        QPointer<ImageryWidget> pageAlive(page);
        QPointer<ImageOverlayHandler> handler = ImageOverlayHandler::registerHandler(
            std::make_unique<ImageOverlayHandler>(page, "Local radar"));
        // Runs inside the first layer's fetch.
        QTimer::singleShot(0, [&] {
            if (pageGoes) {
                delete page;
            } else {
                ImageOverlayHandler::clearHandlers();
            }
        });
        handler->loadImages(site.layers, 300);
        EXPECT_TRUE(handler.isNull());
        EXPECT_EQ(ImageOverlayHandler::handlerCount(), 0u);
        EXPECT_EQ(site.requestCounts(), (std::vector<int>{1, 0, 0, 0, 0, 0, 0}));
        if (!pageGoes) {
            ASSERT_FALSE(pageAlive.isNull());
            EXPECT_EQ(pictureOf(*page)->text(), "Loading image 1 ...");
            delete page;
        }
    }
}

// The radar page inside the main window, reached as the radar link reaches it.
class RadarPageTest : public ::testing::Test {
protected:
    void TearDown() override {
        ImageOverlayHandler::clearHandlers();
        vpcore::TaskScheduler::instance().shutdown();
        auto& service = vpcore::NotificationService::Instance();
        if (service.getRegisteredPropertyIds().count(vpcore::PROP_DEWPOINT_COMFORT_LEVEL) != 0) {
            service.unRegisterPropertyIds({vpcore::PROP_DEWPOINT_COMFORT_LEVEL});
        }
        for (const char* variable : {"OMBRIX_RADAR_HOST", "OMBRIX_NWS_HOST", "OMBRIX_FORECAST_HOST",
                                     "OMBRIX_ALERTS_HOST"}) {
            qunsetenv(variable);
        }
    }

    // A click on the panel's radar link (hidden in the running panel, so called directly).
    static void clickRadarLink(Vesparo& window) {
        auto* panel = window.findChild<CurrentConditionsPanel*>();
        ASSERT_NE(panel, nullptr);
        ASSERT_TRUE(
            QMetaObject::invokeMethod(panel, "onRadarLinkClicked", Q_ARG(VPLinkLabel*, nullptr)));
    }

    // The index of the main window's current page; the pages share one stacked layout.
    static int pageIndex(ImageryWidget* page) {
        auto* stack = qobject_cast<QStackedLayout*>(page->parentWidget()->layout());
        return stack != nullptr ? stack->currentIndex() : -1;
    }

    const apptest::MainWindowIdsLease ids;
    testsupport::LogCapture log;
    apptest::MessageBoxRecorder boxes;
};

TEST_F(RadarPageTest, WithoutACurrentLocationThePageReadsNoImagesAvailable) {
    if (vpcore::LocationService::Instance().getCurrentLocation() != nullptr) {
        GTEST_SKIP() << "an earlier test of this process chose a current location";
    }
    Vesparo window(nullptr);
    clickRadarLink(window);
    auto* page = qobject_cast<ImageryWidget*>(window.showPage(ImageOverlayHandler::RADAR_PAGE));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(pageIndex(page), 2);
    EXPECT_EQ(pictureOf(*page)->text(), "No images available.");
    EXPECT_EQ(ImageOverlayHandler::handlerCount(), 0u);
}

// Two clicks on the radar link leave one handler with one running 300 s timer; the second
// fetches only the changing layers. The back link stops the refresh and returns to page 0,
// after which hiding or showing the radar page does nothing.
TEST_F(RadarPageTest, TheRadarLinkShowsAndRefreshesTheLocalRadarUntilBack) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    HttpTestServer server;
    server.addRoute("/xml/current_obs/KXRP.xml",
                    HttpTestServer::fixture("providers/observation_good.xml"));
    for (const char* variable : {"OMBRIX_NWS_HOST", "OMBRIX_FORECAST_HOST", "OMBRIX_ALERTS_HOST"}) {
        qputenv(variable, server.host().c_str());
    }
    RadarSite site(server, "AMA", {COUNTIES}, RadarSite::FIXTURE_NWS_LAYERS);
    qputenv("OMBRIX_RADAR_HOST", server.host().c_str());

    Vesparo window(nullptr);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // The position is known, so choosing the location needs only the station's document.
    vpcore::Location_t location;
    location.zipCode = "78701";
    location.alertCode = "TXC453";
    location.stationId = "KXRP";
    location.radarId = "ama";  // the addresses carry it in upper case
    location.displayName = "Radar Test, TX";
    location.position = std::make_shared<std::pair<float, float>>(30.27f, -97.74f);
    vpcore::LocationService::Instance().setLocations({location});
    std::string error;
    ASSERT_TRUE(vpcore::LocationService::Instance().setCurrentLocation("Radar Test, TX", error))
        << error;

    clickRadarLink(window);
    auto* page = qobject_cast<ImageryWidget*>(window.showPage(ImageOverlayHandler::RADAR_PAGE));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(site.requestCounts(), (std::vector<int>{1, 1, 1, 1, 1, 1, 1}));
    // The picture fits the page above the back link.
    apptest::drainEvents();
    EXPECT_EQ(shownImage(*page).size(), QSize(580, 530));
    auto* back = page->findChild<VPLinkLabel*>("closeLink");
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->isVisible());
    EXPECT_TRUE(page->rect().contains(back->geometry())) << back->geometry().y();
    EXPECT_TRUE(page->rect().contains(pictureOf(*page)->geometry()));
    EXPECT_GE(pictureOf(*page)->height(), 530);
    window.grab().save("radar_page.png");  // kept beside the test program, to look at
    ASSERT_EQ(ImageOverlayHandler::handlerCount(), 1u);
    QPointer<ImageOverlayHandler> first = ImageOverlayHandler::registeredHandler("Local radar");
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first->autoRefreshInterval(), 300000);

    clickRadarLink(window);
    EXPECT_TRUE(first.isNull());
    ASSERT_EQ(ImageOverlayHandler::handlerCount(), 1u);
    // The counties, missing, are asked for again.
    EXPECT_EQ(site.requestCounts(), (std::vector<int>{1, 2, 2, 1, 1, 2, 2}));
    EXPECT_EQ(log.count(" from memory cache"), 3);
    EXPECT_EQ(log.count("INFO: Auto refresh enabled."), 2);
    EXPECT_EQ(log.count("INFO: Auto refresh stopped."), 1);
    EXPECT_EQ(pageIndex(page), 2);

    QTest::mouseClick(back, Qt::LeftButton);
    EXPECT_EQ(ImageOverlayHandler::handlerCount(), 0u);
    EXPECT_EQ(log.count("INFO: Auto refresh stopped."), 2);
    EXPECT_EQ(pageIndex(page), 0);
    window.showPage(ImageOverlayHandler::RADAR_PAGE);
    window.setCurrentPage(0);
    apptest::drainEvents();
    EXPECT_EQ(site.requestCounts(), (std::vector<int>{1, 2, 2, 1, 1, 2, 2}));
}

}  // namespace
