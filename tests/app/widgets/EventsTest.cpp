#include <gtest/gtest.h>

#include <QObject>
#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "widgets/VPDataEvent.h"
#include "widgets/VPLinkLabel.h"

namespace {

// Records what reaches it, and on which thread.
class Receiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == VPPropertyChange::eventType()) {
            ids.push_back(static_cast<VPPropertyChange*>(e)->data());
            threads.push_back(QThread::currentThread());
            return true;
        }
        return QObject::event(e);
    }
    std::vector<short> ids;
    std::vector<QThread*> threads;
};

TEST(VPDataEventTest, EachPayloadTypeHasItsOwnEventType) {
    const std::vector<int> types = {
        VPPropertyChange::eventType(), VPDataEventStatusMessage::eventType(),
        VPDataEventProgressInfo::eventType(), VPDataEventQString::eventType(),
        VPLinkLabel::VPLinkLabelEvent::eventType()};
    EXPECT_EQ(std::set<int>(types.begin(), types.end()).size(), types.size());
    for (int type : types) {
        EXPECT_GE(type, QEvent::User);
        EXPECT_LE(type, QEvent::MaxUser);
    }
    EXPECT_EQ(VPDataEventForecastItemsReady::eventType(), VPDataEventQString::eventType());
    EXPECT_EQ(VPDataEventForecastItemsReady().type(), VPDataEventQString("x").type());
    EXPECT_EQ(VPDataEventForecastItemsReady().data(), QString());
}

TEST(VPDataEventTest, FirstRegistrationFromManyThreadsAtOnceYieldsOneType) {
    struct FreshPayload {};
    std::atomic<bool> go{false};
    std::vector<int> seen(8, -1);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] {
            while (!go) {
            }
            seen[i] = VPDataEvent<FreshPayload>::eventType();
        });
    }
    go = true;
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(std::set<int>(seen.begin(), seen.end()).size(), 1u);
    EXPECT_EQ(seen[0], VPDataEvent<FreshPayload>::eventType());
}

TEST(VPDataEventTest, EventsPostedFromAWorkerAreHandledOnTheGuiThreadInOrder) {
    Receiver receiver;
    std::thread worker([&receiver] {
        for (short id : {22, 24, 26}) {
            QCoreApplication::postEvent(&receiver, new VPPropertyChange(id));
        }
    });
    worker.join();
    ASSERT_TRUE(apptest::waitFor([&] { return receiver.ids.size() == 3; }));
    EXPECT_EQ(receiver.ids, (std::vector<short>{22, 24, 26}));
    for (QThread* thread : receiver.threads) {
        EXPECT_EQ(thread, QCoreApplication::instance()->thread());
    }
}

TEST(VPDataEventTest, PayloadIsAPrivateCopy) {
    vpcore::StatusMessage_t message("first", 0);
    VPDataEventStatusMessage event(message);
    message.message = "changed";
    EXPECT_EQ(event.data().message, "first");
    EXPECT_EQ(event.data().popup, 0);
}

}  // namespace
