#include "shell/Vesparo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QSettings>
#include <QStackedLayout>
#include <QSystemTrayIcon>
#include <functional>
#include <set>

#include "alerts/AlertDetailsPanel.h"
#include "alerts/AlertSoundManager.h"
#include "base/InstallFolder.h"
#include "base/Settings.h"
#include "base/UserProfile.h"
#include "conditions/CurrentConditionsPanel.h"
#include "display/BarometerEngViewModel.h"
#include "display/BarometerMetricViewModel.h"
#include "display/DewpointComfortLevel.h"
#include "display/TempEngViewModel.h"
#include "display/TempMetricViewModel.h"
#include "display/WindViewModel.h"
#include "forecast/ForecastPanel.h"
#include "gauges/DoubleSidedGaugeRenderer.h"
#include "options/VesparoOptionsDialog.h"
#include "radar/ImageryWidget.h"
#include "services/FileService.h"
#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/TaskScheduler.h"
#include "tray/VesparoTray.h"
#include "weather/NWSCodeService.h"
#include "weather/TemperatureInterpolater.h"
#include "widgets/LocationWidget.h"
#include "widgets/VPDataEvent.h"
#include "widgets/VPMessageBox.h"
#include "widgets/VPStatusBar.h"

namespace {

Vesparo* mainWindow = nullptr;

const char* const kVersion = "2.0";

void logInfo(const std::string& text) {
    vpcore::Logger::Instance().log("INFO", text);
}

}  // namespace

// Hears the first observation of a place (a text of its that is not empty), or another choice
// of the current location (another place, or none), which ends the wait as well.
class Vesparo::WeatherArrival : public vpcore::StringPropertyChangeListener {
public:
    explicit WeatherArrival(std::function<void()> arrived) : arrived(std::move(arrived)) {
        vpcore::NotificationService::Instance().addPropertyChangeListener<std::string>(this, ids());
    }
    ~WeatherArrival() override {
        vpcore::NotificationService::Instance().removePropertyChangeListener<std::string>(this,
                                                                                          ids());
    }
    WeatherArrival(const WeatherArrival&) = delete;
    WeatherArrival& operator=(const WeatherArrival&) = delete;

    void handlePropertyChange(short propId, const std::string* const,
                              const std::string* const newValue) override {
        if (propId == vpcore::PROP_CURRENT_LOCATION || !newValue->empty()) {
            arrived();
        }
    }

private:
    static std::set<short> ids() {
        return {vpcore::PROP_LOCATION, vpcore::PROP_OBSERVATION_TIME, vpcore::PROP_WEATHER,
                vpcore::PROP_CURRENT_LOCATION};
    }
    const std::function<void()> arrived;
};

Vesparo::Vesparo(QWidget* parent) : VespWindow(parent) {
    setCloseButtonShown(false);
    try {
        setUpWindow();
    } catch (...) {
        // The destructor does not run for a constructor that throws; the core must not be
        // left calling into this window.
        releaseCore();
        throw;
    }
    mainWindow = this;
}

Vesparo::~Vesparo() {
    if (mainWindow == this) {
        mainWindow = nullptr;
    }
    releaseCore();
}

void Vesparo::releaseCore() {
    // No task may call into the window, its models or its status bar from here on.
    vpcore::TaskScheduler::instance().shutdown();
    temperatureInterpolater.reset();
    dewpointComfortLevel.reset();
    if (!gaugesOwnModels) {
        delete windFrontModel;
        delete windBackModel;
        delete tempFrontModel;
        delete tempBackModel;
        delete pressureFrontModel;
        delete pressureBackModel;
    }
    vpcore::StatusService::Instance().registerUpdateHandler(vpcore::StatusService::UpdateHandler());
    vpcore::StatusService::Instance().registerProgressHandler(
        vpcore::StatusService::ProgressHandler());
}

Vesparo* Vesparo::instance() {
    return mainWindow;
}

void Vesparo::init() {
    // Every widget sits at a fixed place in this size: a window manager must not resize it.
    setFixedSize(800, 650);
    // The base centred the window at its first, smaller size.
    centerOnDesktop();
    VespWindow::init();
    setWindowTitle("Ombrix");
    setWindowIcon(QIcon(":/icon2.png"));
    vpcore::StatusService::Instance().registerUpdateHandler(
        vpcore::StatusService::UpdateHandler(this, &Vesparo::onStatusUpdate));
    vpcore::StatusService::Instance().registerProgressHandler(
        vpcore::StatusService::ProgressHandler(this, &Vesparo::onProgress));
    setUpApplication();

    auto* banner = new LocationWidget(this);
    banner->setObjectName("locationBanner");
    banner->setLabelMinimumSize(350, 22);
    banner->move(184, 12);
    connect(banner, &LocationWidget::clicked, this, &Vesparo::configure);

    vpcore::NWSCodeService::Instance().setBasePath((installFolder() + "/resources").toStdString());

    windFrontModel = new vpcore::WindViewModel(vpcore::WindViewModel::UNITS_MPH);
    windBackModel = new vpcore::WindViewModel(vpcore::WindViewModel::UNITS_KMH);
    tempFrontModel = new vpcore::TempEngViewModel();
    tempBackModel = new vpcore::TempMetricViewModel();
    pressureFrontModel = new vpcore::BarometerEngViewModel();
    pressureBackModel = new vpcore::BarometerMetricViewModel();
    tempBackModel->setActive(false);
    dewpointComfortLevel = std::make_unique<vpcore::DewpointComfortLevel>();
    // Taken before any gauge exists, so the snapshots hold only the painted background.
    setGaugeBackground(tempFrontModel, 0, 54);
    setGaugeBackground(windFrontModel, 0, 214);
    setGaugeBackground(pressureFrontModel, 0, 374);

    const struct {
        vpcore::IGaugeViewModel* front;
        vpcore::IGaugeViewModel* back;
        int y;
    } gauges[] = {{tempFrontModel, tempBackModel, 54},
                  {windFrontModel, windBackModel, 214},
                  {pressureFrontModel, pressureBackModel, 374}};
    for (const auto& place : gauges) {
        auto* gauge = new DoubleSidedGaugeRenderer(this, place.front, place.back);
        gauge->resize(160, 160);
        gauge->move(0, place.y);
    }
    gaugesOwnModels = true;

    // The pages: the current conditions (0), the alert details (1) and the radar imagery (2).
    auto* conditionsPage = new QWidget(this);
    conditionsPage->resize(598, 560);
    auto* conditionsPanel = new CurrentConditionsPanel(
        conditionsPage, vpcore::LocationService::Instance().getAlertModel());
    conditionsPanel->resize(598, 208);
    auto* forecastPanel =
        new ForecastPanel(vpcore::LocationService::Instance().getForecastModel(), conditionsPage);
    forecastPanel->resize(598, 400);
    forecastPanel->move(0, 218);
    auto* alertDetailsPanel =
        new AlertDetailsPanel(vpcore::LocationService::Instance().getAlertModel().get(), this);
    auto* imageryPage = new ImageryWidget(this);

    auto* pageArea = new QWidget(this);
    pageStack = new QStackedLayout();
    pageArea->setLayout(pageStack);
    pageArea->resize(conditionsPage->size());
    pageStack->addWidget(conditionsPage);
    pageStack->addWidget(alertDetailsPanel);
    pageStack->addWidget(imageryPage);
    pageArea->move(184, 46);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        auto* tray = new VesparoTray(this, tempFrontModel, tempBackModel);
        tray->setVisible(true);
    } else {
        logInfo("System tray is not available.");
    }
    AlertSoundManager::instance();

    temperatureInterpolater = std::make_unique<vpcore::TemperatureInterpolater>(32, 47, 2);

    restoreCurrentLocation();
    logInfo("Ombrix init complete.");
}

void Vesparo::setUpApplication() {
    const QString appDir = QCoreApplication::applicationDirPath();
    // Qt's own plugin folders stay behind the program's: replacing them would lose the image
    // format and multimedia plugins of the system's Qt.
    QStringList paths{appDir + "/", appDir + "/plugins"};
    paths += QCoreApplication::libraryPaths();
    paths.removeDuplicates();
    QCoreApplication::setLibraryPaths(paths);
    QCoreApplication::setApplicationName("Ombrix");
    QCoreApplication::setOrganizationName("Ombrix");
    QCoreApplication::setOrganizationDomain("ombrix.example.org");

    QSettings::setDefaultFormat(QSettings::IniFormat);
    const std::string folder = userDataDir();
    // Before any worker thread starts; read-only from then on.
    vpcore::FileService::Instance().setApplicationDataPath(folder);
    vpcore::FileService::Instance().setInstallPath(installFolder().toStdString());
    vpcore::Logger::Instance().setFile(folder + "Ombrix.log");
    storeInstalledVersion(kVersion);
    logInfo(std::string("Ombrix version ") + kVersion + " initializing...");
    logInfo("User Data Dir:" + folder);
    restoreLocations();
}

void Vesparo::restoreLocations() {
    bool found = false;
    const QList<QVariant> list = readSetting<QList<QVariant>>("ALL_LOCATIONS", found);
    std::vector<vpcore::Location_t> locations;
    try {
        unmarshalLocations(list, locations, toStdString);
    } catch (const std::invalid_argument& e) {
        vpcore::Logger::Instance().log("ERROR", std::string("Saved locations: ") + e.what());
        VPMessageBox::informationLater(
            this, QString(),
            QString("Your saved locations could not be read: the setting ALL_LOCATIONS holds "
                    "%1 entries, but each location takes 7.\n"
                    "Ombrix starts without saved locations. The setting is kept as it is until "
                    "you save new locations in the options.")
                .arg(list.size()));
        locations.clear();
    }
    vpcore::LocationService::Instance().setLocations(locations);
}

void Vesparo::restoreCurrentLocation() {
    bool found = false;
    const QString key = readSetting<QString>("CURRENT_LOCATION", found);
    if (!found || key.isEmpty()) {
        return;
    }
    std::string error;
    try {
        // The saved location stays current even when the service does not answer now; its
        // tasks are scheduled and fetch the weather as soon as it does.
        if (!vpcore::LocationService::Instance().restoreCurrentLocation(key.toStdString(), error)) {
            const std::string waiting = "The weather service did not answer for " +
                                        key.toStdString() + ". Ombrix keeps trying.";
            vpcore::StatusService::Instance().update(vpcore::StatusMessage_t(waiting, 0));
            // Said until the weather is in: passing messages and task descriptions would
            // replace it within the second.
            statusBar()->setStandingMessage(QString::fromStdString(waiting));
            offlineNotice =
                VPMessageBox::informationLater(this, QString(), QString::fromStdString(error));
            weatherArrival = std::make_unique<WeatherArrival>([this] {
                QMetaObject::invokeMethod(
                    this, [this] { onWeatherArrived(); }, Qt::QueuedConnection);
            });
        }
    } catch (const std::invalid_argument& e) {
        vpcore::Logger::Instance().log("ERROR",
                                       "Current location " + key.toStdString() + ": " + e.what());
        VPMessageBox::informationLater(
            this, QString(),
            QString("Your current location \"%1\" is not among your saved locations.\n"
                    "Ombrix starts without a current location; choose one in the options.")
                .arg(key));
    }
}

void Vesparo::onWeatherArrived() {
    statusBar()->setStandingMessage(QString());
    if (offlineNotice) {
        // Hidden and deleted: a box not shown yet must not open later either.
        offlineNotice->hide();
        offlineNotice->deleteLater();
    }
    weatherArrival.reset();
}

void Vesparo::setGaugeBackground(vpcore::IGaugeViewModel* model, int x, int y) {
    const QPixmap snapshot =
        grab(QRect(x, y, 160, 160)).scaled(256, 256, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    model->setBackgroundImage(new QImage(snapshot.toImage()));
}

void Vesparo::keyPressEvent(QKeyEvent* e) {
    // A dialog closes on Escape; the main window is no pop-up to dismiss, and closing it ends
    // the program.
    if (e->matches(QKeySequence::Cancel)) {
        e->accept();
        return;
    }
    VespWindow::keyPressEvent(e);
}

void Vesparo::configure() {
    VesparoOptionsDialog dialog(this);
    dialog.exec();
}

void Vesparo::setCurrentPage(int index) {
    if (pageStack != nullptr) {
        pageStack->setCurrentIndex(index);
    }
}

QWidget* Vesparo::showPage(int index) {
    setCurrentPage(index);
    return pageStack != nullptr ? pageStack->currentWidget() : nullptr;
}

void Vesparo::onStatusUpdate(const vpcore::StatusMessage_t& message) {
    QCoreApplication::postEvent(statusBar(), new VPDataEventStatusMessage(message));
}

void Vesparo::onProgress(const vpcore::ProgressInfo_t& info) {
    QCoreApplication::postEvent(statusBar(), new VPDataEventProgressInfo(info));
}

std::string Vesparo::userDataDir() {
    return UserProfile::folder();
}
