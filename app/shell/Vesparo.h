// The program's main window: sets up the application (names, settings, log, saved locations),
// builds the gauge models and every widget, restores the current location (which starts the
// core's scheduler) and shows the core's status messages and progress in its status bar.
// GUI thread, except onStatusUpdate/onProgress, which the status service calls on any thread.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QVariant>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/VespWindow.h"
#include "services/StatusService.h"
#include "weather/LocationService.h"
#include "widgets/PageSwitcher.h"

class QKeyEvent;
class QStackedLayout;

namespace vpcore {
class IGaugeViewModel;
class WindViewModel;
class TempEngViewModel;
class TempMetricViewModel;
class BarometerEngViewModel;
class BarometerMetricViewModel;
class DewpointComfortLevel;
class TemperatureInterpolater;
}  // namespace vpcore

class Vesparo : public VespWindow, public PageSwitcher {
    Q_OBJECT
public:
    explicit Vesparo(QWidget* parent);
    ~Vesparo() override;

    void init() override;
    void configure() override;

    // The main window once its constructor has finished, else null.
    static Vesparo* instance();

    // The page stack: the current conditions, the alert details and the radar imagery.
    void setCurrentPage(int index) override;
    QWidget* showPage(int index) override;

    void onStatusUpdate(const vpcore::StatusMessage_t& message);
    void onProgress(const vpcore::ProgressInfo_t& info);

    void setUpApplication();

    // The folder of the settings file, ending in "/" (UserProfile::folder): decided once, and
    // free of side effects. May be called from any thread.
    static std::string userDataDir();

    // Seven strings per location, in the field order of Location_t. Throws
    // std::invalid_argument, leaving out unchanged, when the length is not a multiple of 7.
    template <class Converter>
    static void unmarshalLocations(const QList<QVariant>& list,
                                   std::vector<vpcore::Location_t>& out, Converter converter);

protected:
    // Escape does not close the main window.
    void keyPressEvent(QKeyEvent* e) override;

private:
    // Stops the scheduler and frees what the core calls into: the models, the comfort level,
    // the interpolater, the status handlers.
    void releaseCore();
    // Restores the saved locations; a malformed list is reported and skipped, and stays stored.
    void restoreLocations();
    // Restores the current location; an unknown one is reported and skipped. One whose service
    // does not answer stays current: the status bar and a notice say so, and its tasks retry.
    void restoreCurrentLocation();

    // Grabs the window's own background behind a gauge's place as the gauge's texture.
    void setGaugeBackground(vpcore::IGaugeViewModel* model, int x, int y);

    // The gauge models; the pairs belong to the gauge widgets once those exist (then
    // gaugesOwnModels is set), until then the main window frees them.
    vpcore::WindViewModel* windFrontModel = nullptr;
    vpcore::WindViewModel* windBackModel = nullptr;
    vpcore::TempEngViewModel* tempFrontModel = nullptr;
    vpcore::TempMetricViewModel* tempBackModel = nullptr;
    vpcore::BarometerEngViewModel* pressureFrontModel = nullptr;
    vpcore::BarometerMetricViewModel* pressureBackModel = nullptr;
    bool gaugesOwnModels = false;
    QStackedLayout* pageStack = nullptr;
    std::unique_ptr<vpcore::DewpointComfortLevel> dewpointComfortLevel;
    std::unique_ptr<vpcore::TemperatureInterpolater> temperatureInterpolater;

    // After a start whose service did not answer: the notice that said so, and a listener
    // that hears the first conditions of a place (on the publishing thread). Once they are
    // in, the notice closes and the status bar stops saying that Ombrix keeps trying.
    class WeatherArrival;
    void onWeatherArrived();
    QPointer<QMessageBox> offlineNotice;
    std::unique_ptr<WeatherArrival> weatherArrival;  // last: it stops listening first
};

template <class Converter>
void Vesparo::unmarshalLocations(const QList<QVariant>& list, std::vector<vpcore::Location_t>& out,
                                 Converter converter) {
    if (list.size() % 7 != 0) {
        throw std::invalid_argument("marshalling error: need 7 elements for each Location_t entry");
    }
    for (int i = 0; i < list.size(); i += 7) {
        vpcore::Location_t location;
        std::string* const fields[] = {
            &location.zipCode, &location.alertCode, &location.stationId,  &location.stationName,
            &location.radarId, &location.radarName, &location.displayName};
        for (int f = 0; f < 7; ++f) {
            converter(list[i + f], *fields[f]);
        }
        out.push_back(location);
    }
}
