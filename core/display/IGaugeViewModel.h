// What a gauge widget asks of the model behind one face: ticks, needle end point, digital
// read-out, tool tip, back-plate image and active state. The widget reads it on the GUI
// thread; the models are fed by property changes on the notifying (runner) thread, and tell
// the widget through the change delegate once they hold the new value.
#pragma once

#include <QImage>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "display/TickDisplay.h"
#include "display/Vector3D.h"
#include "services/FastDelegate.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT IGaugeViewModel {
public:
    IGaugeViewModel();
    // A copy starts without a background image: the image has one owner.
    IGaugeViewModel(const IGaugeViewModel& other);
    IGaugeViewModel& operator=(const IGaugeViewModel& other);
    // Frees a background image that nobody took over.
    virtual ~IGaugeViewModel();

    // Called once, before the widget first asks for ticks.
    virtual void constructView() = 0;
    // Points into the model and stays valid until it is destroyed; null before constructView.
    virtual const std::vector<TickDisplay*>* getTicks() const = 0;
    // A copy, taken under the lock its writer holds; (0, 0, 0) before constructView.
    virtual Vector3D getNeedleEndpoint() const = 0;
    virtual std::vector<std::string> getMajorTickDisplayValues() const = 0;
    virtual void setDigitalValue(const std::string& value) = 0;
    virtual std::string getDigitalValue() const = 0;
    virtual std::string getToolTip() const;
    virtual void setActive(bool active);
    virtual bool isActive() const;
    // A fresh image on every call, owned by the caller; null (isNull()) when the program's
    // resources are not in the process.
    virtual std::unique_ptr<QImage> getBackPlateImage();

    // The model takes the image over (the main window's snapshot behind the gauge).
    void setBackgroundImage(QImage* image) {
        if (image != backgroundImage) {
            delete backgroundImage;
            backgroundImage = image;
        }
    }
    // Called, on the notifying thread, each time a property change has reached what the model
    // shows (needle, read-out, tool tip); an empty delegate unbinds it. Once this returns, the
    // previous delegate is not running and will not be called again.
    void setChangeDelegate(fastdelegate::FastDelegate0<> delegate);

    // Hands the image to the caller (the gauge widget, once); the model then holds none.
    std::unique_ptr<QImage> takeBackgroundImage() {
        std::unique_ptr<QImage> image(backgroundImage);
        backgroundImage = nullptr;
        return image;
    }

protected:
    // Tells the change delegate, if one is bound.
    void notifyChanged() const;

    QImage* backgroundImage = nullptr;

private:
    fastdelegate::FastDelegate0<> changeDelegate;
    // Held while the delegate runs, so that unbinding waits for a call under way.
    mutable std::mutex changeMutex;
};

}  // namespace vpcore
