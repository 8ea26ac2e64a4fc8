// Base of the gauge models that show a float property (temperature, pressure). One outside
// party (the tray icon) follows the value and the active state through two delegates; the
// property delegate is called on the notifying thread, setActive's on the caller's. The value
// and the active flag are read on any thread.
#pragma once

#include <atomic>

#include "display/IGaugeViewModel.h"
#include "services/FastDelegate.h"
#include "services/IPropertyChangeListener.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT AbstractGaugeViewModelFloat : public IGaugeViewModel,
                                                  public FloatPropertyChangeListener {
public:
    AbstractGaugeViewModelFloat();
    AbstractGaugeViewModelFloat(const AbstractGaugeViewModelFloat& other);
    AbstractGaugeViewModelFloat& operator=(const AbstractGaugeViewModelFloat& other);
    ~AbstractGaugeViewModelFloat() override;

    std::string getToolTip() const override;
    // Stores the flag, then tells the active delegate if one is bound.
    void setActive(bool active) override;
    bool isActive() const override;

    // Derived models override it to move their needle.
    virtual void setValue(float value);
    float getValue() const;

    // One listener each; a second call replaces the first.
    void setActiveDelegate(fastdelegate::FastDelegate1<bool> delegate);
    void setPropertyChangeDelegate(fastdelegate::FastDelegate2<short, float> delegate);

    // Tells the property delegate (propId, *newValue). Stores nothing and is registered
    // nowhere: derived models register, and call this for every change they hear.
    void handlePropertyChange(short propId, const float* const oldValue,
                              const float* const newValue) override;

protected:
    std::atomic<bool> active{true};
    std::atomic<float> value{0.0f};
    fastdelegate::FastDelegate1<bool> activeDelegate;
    fastdelegate::FastDelegate2<short, float> propertyChangeDelegate;
};

}  // namespace vpcore
