// The text of a reading shown in one of two units (front and back side, each from its own
// property id), with the side the user has flipped to. handlePropertyChange runs on the
// publishing thread (usually the scheduler's runner); the side and the texts are read and
// flipped on the GUI thread, so they are guarded by a mutex. A reading the station did not
// give (NaN, or the value set as no reading) shows as "NA", without its unit.
#pragma once

#include <cmath>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <type_traits>

#include "services/Converter.h"
#include "services/FastDelegate.h"
#include "services/IPropertyChangeListener.h"
#include "services/NotificationService.h"

namespace vpcore {

template <class T>
class DoubleSidedPresentationModel : public IPropertyChangeListener<T> {
public:
    // side: 0 front shown, 1 back shown, 2 single-sided (backId is then not listened to).
    DoubleSidedPresentationModel(short frontId, short backId, unsigned int side)
        : frontId(frontId), backId(backId), side(side) {
        registerWithNotificationService();
    }
    ~DoubleSidedPresentationModel() override { unregisterFromNotificationService(); }

    DoubleSidedPresentationModel(const DoubleSidedPresentationModel&) = delete;
    DoubleSidedPresentationModel& operator=(const DoubleSidedPresentationModel&) = delete;

    void registerWithNotificationService() {
        NotificationService::Instance().addPropertyChangeListener<T>(this, ids());
    }
    void unregisterFromNotificationService() {
        NotificationService::Instance().removePropertyChangeListener<T>(this, ids());
    }

    void handlePropertyChange(short propId, const T* const, const T* const newValue) override {
        std::string shown;
        fastdelegate::FastDelegate1<const std::string&> target;
        {
            std::lock_guard<std::mutex> lock(mutex);
            std::string text = Converter::NO_READING;
            if (!isNoReading(*newValue)) {
                std::ostringstream stream;
                stream << *newValue;
                text = stream.str();
            }
            (propId != frontId ? backText : frontText) = text;
            shown = displayTextLocked(true);
            target = textDelegate;
        }
        if (target) {
            target(shown);
        }
    }

    // Forgets both texts (a place no longer shown) and shows the empty text, without a suffix.
    void clearTexts() {
        fastdelegate::FastDelegate1<const std::string&> target;
        {
            std::lock_guard<std::mutex> lock(mutex);
            frontText.clear();
            backText.clear();
            target = textDelegate;
        }
        if (target) {
            target(std::string());
        }
    }

    std::string getDisplayText(bool withSuffix) const {
        std::lock_guard<std::mutex> lock(mutex);
        return displayTextLocked(withSuffix);
    }

    std::string toggleSide(bool withSuffix) {
        std::lock_guard<std::mutex> lock(mutex);
        if (side != 2) {
            side = side == 0 ? 1 : 0;
        }
        return displayTextLocked(withSuffix);
    }

    unsigned int getSide() const {
        std::lock_guard<std::mutex> lock(mutex);
        return side;
    }

    void setFrontSuffix(const std::string& suffix) {
        std::lock_guard<std::mutex> lock(mutex);
        frontSuffix = suffix;
    }
    void setBackSuffix(const std::string& suffix) {
        std::lock_guard<std::mutex> lock(mutex);
        backSuffix = suffix;
    }

    // A value that stands for no reading besides NaN (an int reading has no NaN).
    void setNoReadingValue(const T& value) {
        std::lock_guard<std::mutex> lock(mutex);
        noReading = value;
    }

    void setDisplayTextChangedDelegate(fastdelegate::FastDelegate1<const std::string&> delegate) {
        std::lock_guard<std::mutex> lock(mutex);
        textDelegate = delegate;
    }

private:
    bool isNoReading(const T& value) const {
        if constexpr (std::is_floating_point_v<T>) {
            if (std::isnan(value)) {
                return true;
            }
        }
        return noReading && value == *noReading;
    }

    std::set<short> ids() const {
        std::set<short> result{frontId};
        if (side != 2) {
            result.insert(backId);
        }
        return result;
    }

    std::string displayTextLocked(bool withSuffix) const {
        const bool back = side == 1;
        std::string text = back ? backText : frontText;
        const std::string& suffix = back ? backSuffix : frontSuffix;
        if (withSuffix && !suffix.empty() && text != Converter::NO_READING) {
            text += " " + suffix;
        }
        return text;
    }

    const short frontId;
    const short backId;
    std::string frontText;
    std::string backText;
    std::string frontSuffix;
    std::string backSuffix;
    unsigned int side;
    std::optional<T> noReading;
    fastdelegate::FastDelegate1<const std::string&> textDelegate;
    mutable std::mutex mutex;  // guards everything above but the ids
};

}  // namespace vpcore
