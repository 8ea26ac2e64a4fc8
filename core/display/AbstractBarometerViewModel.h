// What the inHg and mb faces of the pressure gauge share: each hears one pressure property,
// keeps a read-out and a trend word (rising, falling, steady) for the tool tip. The scale is
// printed on the back plate; the invisible ticks only place the needle. The handler runs on
// the notifying thread; the widget reads the texts on the GUI thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "display/AbstractGaugeViewModelFloat.h"
#include "display/ConditionsResetListener.h"
#include "services/PropIds.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT AbstractBarometerViewModel : public AbstractGaugeViewModelFloat {
public:
    ~AbstractBarometerViewModel() override;

    AbstractBarometerViewModel(const AbstractBarometerViewModel&) = delete;
    AbstractBarometerViewModel& operator=(const AbstractBarometerViewModel&) = delete;

    void setDigitalValue(const std::string& value) override;
    std::string getDigitalValue() const override;
    // "Barometric pressure\n29.92 inHg Rising"
    std::string getToolTip() const override;
    // A fresh ":/barometer_bg_1.png", owned by the caller.
    std::unique_ptr<QImage> getBackPlateImage() override;
    // For the heard property: the trend, the needle, the read-out, then the delegate.
    void handlePropertyChange(short propId, const float* const oldValue,
                              const float* const newValue) override;

    std::string getTrend() const;

    // "" when there was no earlier reading (0), else "Steady", "Rising" or "Falling".
    static std::string pressureTrend(float oldValue, float newValue);

protected:
    // unitText is written between the read-out and the trend, blanks included (" mb ").
    AbstractBarometerViewModel(PropId heardProperty, std::string unitText);

    // The read-out of a reading in this face's unit.
    virtual std::string readout(float value) const = 0;
    // Puts the needle where it is before the first reading.
    virtual void resetNeedle() = 0;

private:
    const PropId heardProperty;
    const std::string unitText;
    std::string digitalValue = "0.0";
    std::string trend;
    mutable std::mutex textMutex;  // digitalValue and trend
    // Last, so that it stops listening first: a reset brings the face back to its start (no
    // reading, no trend), and tells the delegate.
    ConditionsResetListener resetListener;
};

}  // namespace vpcore
