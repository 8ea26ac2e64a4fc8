// What a listener of published values implements. The value type T is fixed per property id;
// value-less events (alerts, resets) arrive as int 0 -> 1 and are heard by
// NoPropertyChangeListener.
#pragma once

#include <string>

namespace vpcore {

template <class T>
class IPropertyChangeListener {
public:
    virtual ~IPropertyChangeListener() = default;
    virtual void handlePropertyChange(short propId, const T* const oldValue,
                                      const T* const newValue) = 0;
};

class IntPropertyChangeListener : public IPropertyChangeListener<int> {};
class FloatPropertyChangeListener : public IPropertyChangeListener<float> {};
class StringPropertyChangeListener : public IPropertyChangeListener<std::string> {};
class NoPropertyChangeListener : public IPropertyChangeListener<int> {};

}  // namespace vpcore
