// The events that carry core notifications onto the GUI thread. A listener or delegate that
// the core may call on a worker thread touches no widget: it posts one of these to the object
// that must change, whose event() acts on the GUI thread. Each payload type has its own event
// type, registered once on first use from whichever thread comes first.
#pragma once

#include <QEvent>
#include <QString>
#include <utility>

#include "services/StatusService.h"

template <class T>
class VPDataEvent : public QEvent {
public:
    explicit VPDataEvent(T payload)
        : QEvent(static_cast<QEvent::Type>(eventType())), payload(std::move(payload)) {}
    ~VPDataEvent() override = default;

    T data() const { return payload; }

    // A function-local static is initialised exactly once even when two threads ask first.
    static int eventType() {
        static const int type = QEvent::registerEventType(-1);
        return type;
    }

private:
    T payload;
};

// A value-less property event (alerts changed, expired, viewed, ...): the id that fired.
class VPPropertyChange : public VPDataEvent<short> {
public:
    explicit VPPropertyChange(short propId) : VPDataEvent<short>(propId) {}
};

class VPDataEventStatusMessage : public VPDataEvent<vpcore::StatusMessage_t> {
public:
    explicit VPDataEventStatusMessage(vpcore::StatusMessage_t message)
        : VPDataEvent<vpcore::StatusMessage_t>(std::move(message)) {}
};

class VPDataEventProgressInfo : public VPDataEvent<vpcore::ProgressInfo_t> {
public:
    explicit VPDataEventProgressInfo(vpcore::ProgressInfo_t info)
        : VPDataEvent<vpcore::ProgressInfo_t>(std::move(info)) {}
};

class VPDataEventQString : public VPDataEvent<QString> {
public:
    explicit VPDataEventQString(QString text) : VPDataEvent<QString>(std::move(text)) {}
};

// Shares the event type of VPDataEventQString: the forecast panel posts it only to itself, so
// the receiver alone tells the two apart.
class VPDataEventForecastItemsReady : public VPDataEvent<QString> {
public:
    VPDataEventForecastItemsReady() : VPDataEvent<QString>(QString()) {}
};
