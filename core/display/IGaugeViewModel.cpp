#include "display/IGaugeViewModel.h"

namespace vpcore {

IGaugeViewModel::IGaugeViewModel() = default;

IGaugeViewModel::IGaugeViewModel(const IGaugeViewModel&) {}

IGaugeViewModel& IGaugeViewModel::operator=(const IGaugeViewModel&) {
    return *this;
}

IGaugeViewModel::~IGaugeViewModel() {
    delete backgroundImage;
}

std::string IGaugeViewModel::getToolTip() const {
    return std::string();
}

void IGaugeViewModel::setActive(bool) {}

bool IGaugeViewModel::isActive() const {
    return true;
}

void IGaugeViewModel::setChangeDelegate(fastdelegate::FastDelegate0<> delegate) {
    std::lock_guard<std::mutex> lock(changeMutex);
    changeDelegate = delegate;
}

void IGaugeViewModel::notifyChanged() const {
    std::lock_guard<std::mutex> lock(changeMutex);
    if (changeDelegate) {
        changeDelegate();
    }
}

std::unique_ptr<QImage> IGaugeViewModel::getBackPlateImage() {
    return std::make_unique<QImage>(QStringLiteral(":/gauge_back_plate_new.png"));
}

}  // namespace vpcore
