// What the Fahrenheit and Celsius faces of the air-temperature gauge share: each hears one
// temperature property, moves its needle to the nearest whole degree, keeps a one-decimal
// read-out and a tool tip. The handler runs on the notifying thread; the widget reads the
// read-out on the GUI thread.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "display/AbstractGaugeViewModelFloat.h"
#include "display/ConditionsResetListener.h"
#include "display/GaugeViewModel.h"
#include "display/NumericScale.h"
#include "services/PropIds.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT AbstractTemperatureViewModel : public AbstractGaugeViewModelFloat {
public:
    ~AbstractTemperatureViewModel() override;

    AbstractTemperatureViewModel(const AbstractTemperatureViewModel&) = delete;
    AbstractTemperatureViewModel& operator=(const AbstractTemperatureViewModel&) = delete;

    void constructView() override;
    const std::vector<TickDisplay*>* getTicks() const override;
    Vector3D getNeedleEndpoint() const override;
    std::vector<std::string> getMajorTickDisplayValues() const override;
    void setDigitalValue(const std::string& value) override;
    std::string getDigitalValue() const override;
    // "Air temperature\n72.4 °F"
    std::string getToolTip() const override;
    // Stores the value and moves the needle to the whole degree nearest it (halves away
    // from zero, Converter::roundToInt); no reading (NaN) leaves the needle where it is.
    void setValue(float value) override;
    // The read-out is "NA" for no reading.
    void handlePropertyChange(short propId, const float* const oldValue,
                              const float* const newValue) override;

protected:
    AbstractTemperatureViewModel(PropId heardProperty, std::vector<std::string> majorLabels,
                                 std::map<std::string, Vector3D> labelColours,
                                 NumericScale<int> scale, DrawDirection_t drawDirection,
                                 float rotationDivisor, std::string unitLetter);

private:
    const PropId heardProperty;
    const std::vector<std::string> majorLabels;
    const NumericScale<int> scale;
    const DrawDirection_t drawDirection;
    const float rotationDivisor;
    const std::string unitLetter;

    std::map<std::string, Vector3D> labelColours;     // label text colours; others default
    std::unique_ptr<GaugeViewModel<int>> gaugeModel;  // null until constructView
    std::string digitalValue = "0.0";
    mutable std::mutex digitalMutex;
    // Last, so that it stops listening first: a reset brings the face back to its start and
    // tells the delegate.
    ConditionsResetListener resetListener;
};

}  // namespace vpcore
