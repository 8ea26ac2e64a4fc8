// The model behind one face of the wind gauge: the needle points to the compass label of the
// wind direction, the read-out shows the speed in the face's unit (or "Calm"), the tool tip
// says where the wind comes from. All three handlers run on the notifying thread; the widget
// reads the model on the GUI thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "display/GaugeViewModel.h"
#include "display/IGaugeViewModel.h"
#include "services/IPropertyChangeListener.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class WindViewModel;

// Feeds the speed of the owner's unit (PROP_WIND_MPH or PROP_WIND_KMH) into its read-out.
class VPCORE_EXPORT WindSpeedUpdater : public IPropertyChangeListener<float> {
public:
    explicit WindSpeedUpdater(WindViewModel* owner);
    ~WindSpeedUpdater() override;
    WindSpeedUpdater(const WindSpeedUpdater&) = delete;
    WindSpeedUpdater& operator=(const WindSpeedUpdater&) = delete;

    void handlePropertyChange(short propId, const float* const oldValue,
                              const float* const newValue) override;

private:
    short heardProperty() const;

    WindViewModel* owner;
};

// On a reset of the current conditions (PROP_CONDITIONS_RESET): "Calm" and the needle home.
class VPCORE_EXPORT CurrentConditionsDataResetHandler : public IPropertyChangeListener<int> {
public:
    explicit CurrentConditionsDataResetHandler(WindViewModel* owner);
    ~CurrentConditionsDataResetHandler() override;
    CurrentConditionsDataResetHandler(const CurrentConditionsDataResetHandler&) = delete;
    CurrentConditionsDataResetHandler& operator=(const CurrentConditionsDataResetHandler&) = delete;

    void handlePropertyChange(short propId, const int* const oldValue,
                              const int* const newValue) override;

private:
    WindViewModel* owner;
};

class VPCORE_EXPORT WindViewModel : public IGaugeViewModel,
                                    public IPropertyChangeListener<std::string> {
public:
    enum Units_t { UNITS_MPH = 0, UNITS_KMH = 1 };

    explicit WindViewModel(Units_t units);
    ~WindViewModel() override;
    WindViewModel(const WindViewModel&) = delete;
    WindViewModel& operator=(const WindViewModel&) = delete;

    // Eight visible compass ticks, 45 degrees apart.
    void constructView() override;
    const std::vector<TickDisplay*>* getTicks() const override;
    Vector3D getNeedleEndpoint() const override;
    std::vector<std::string> getMajorTickDisplayValues() const override;
    void setDigitalValue(const std::string& value) override;
    std::string getDigitalValue() const override;
    std::string getToolTip() const override;

    // A compass label moves the needle; "", "Calm" and "Var" send it to the centre.
    void setValue(const std::string& direction);
    Units_t getUnits() const;
    bool isVariableWind() const;
    void setVariableWind(bool variable);
    // Null until constructView.
    GaugeViewModel<std::string>* getWindModelImpl();

    // Hears PROP_WIND_DIR.
    void handlePropertyChange(short propId, const std::string* const oldValue,
                              const std::string* const newValue) override;

private:
    // They change what the gauge shows and tell its widget so.
    friend class WindSpeedUpdater;
    friend class CurrentConditionsDataResetHandler;

    const Units_t units;
    std::unique_ptr<GaugeViewModel<std::string>> gaugeModel;
    std::string digitalValue = "0.0";
    bool variableWind = false;
    mutable std::mutex textMutex;  // digitalValue and variableWind
    WindSpeedUpdater speedUpdater;
    CurrentConditionsDataResetHandler resetHandler;
};

}  // namespace vpcore
