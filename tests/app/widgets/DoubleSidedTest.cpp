#include <gtest/gtest.h>

#include <QTest>
#include <thread>

#include "AppTestSupport.h"
#include "services/NotificationService.h"
#include "widgets/DoubleSidedDataWidget.h"
#include "widgets/DoubleSidedPresentationModel.h"

namespace {

using vpcore::DoubleSidedPresentationModel;
using vpcore::NotificationService;

// Ids of this test file only, registered once per process: the models do not care which ids
// they hear.
const short kFront = 140;
const short kBack = 141;

// The target of a model's text delegate.
struct TextSink {
    void take(const std::string& text) { texts.push_back(text); }
    fastdelegate::FastDelegate1<const std::string&> delegate() {
        return fastdelegate::FastDelegate1<const std::string&>(this, &TextSink::take);
    }
    std::vector<std::string> texts;
};

class DoubleSidedTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& service = NotificationService::Instance();
        if (service.getRegisteredPropertyIds().count(kFront) == 0) {
            service.registerPropertyIds({kFront, kBack});
        }
    }

    template <class T>
    static void publish(short id, T value) {
        const T none{};
        NotificationService::Instance().notify<T>(id, &none, &value);
    }
};

TEST_F(DoubleSidedTest, NotificationsShowTheVisibleSideAndClicksFlipIt) {
    DoubleSidedPresentationModel<float> model(kFront, kBack, 0);
    model.setFrontSuffix("\u00B0F");
    model.setBackSuffix("\u00B0C");
    DoubleSidedDataWidget<DoubleSidedPresentationModel<float>> widget(&model, nullptr);
    VPLabel* label = widget.textLabel();
    EXPECT_EQ(widget.cursor().shape(), Qt::PointingHandCursor);

    publish<float>(kFront, 45.5f);
    ASSERT_TRUE(apptest::waitFor([&] { return label->text() == "45.5 \u00B0F"; }));
    publish<float>(kBack, 7.5f);
    apptest::drainEvents();
    EXPECT_EQ(label->text(), "45.5 \u00B0F");

    int clicks = 0;
    widget.setClickHandler([&clicks] { ++clicks; });
    QTest::mouseClick(&widget, Qt::LeftButton);
    ASSERT_TRUE(apptest::waitFor([&] { return label->text() == "7.5 \u00B0C"; }));
    EXPECT_EQ(model.getSide(), 1u);
    QTest::mouseClick(&widget, Qt::RightButton);
    ASSERT_TRUE(apptest::waitFor([&] { return label->text() == "45.5 \u00B0F"; }));
    EXPECT_EQ(clicks, 2);
}

TEST_F(DoubleSidedTest, TheShownSideIsHandedOnWhicheverSideChanged) {
    DoubleSidedPresentationModel<int> model(kFront, kBack, 0);
    TextSink sink;
    model.setDisplayTextChangedDelegate(sink.delegate());
    publish<int>(kFront, 10);
    EXPECT_EQ(model.toggleSide(false), "");
    publish<int>(kFront, 11);
    publish<int>(kBack, 12);
    EXPECT_EQ(sink.texts, (std::vector<std::string>{"10", "", "12"}));
}

TEST_F(DoubleSidedTest, SingleSidedModelHearsOnlyItsFrontAndNeverFlips) {
    DoubleSidedPresentationModel<int> model(kFront, kBack, 2);
    model.setFrontSuffix("%");
    DoubleSidedDataWidget<DoubleSidedPresentationModel<int>> widget(&model, nullptr);
    EXPECT_EQ(widget.cursor().shape(), Qt::ArrowCursor);
    publish<int>(kFront, 65);
    publish<int>(kBack, 99);
    ASSERT_TRUE(apptest::waitFor([&] { return widget.textLabel()->text() == "65 %"; }));
    QTest::mouseClick(&widget, Qt::LeftButton);
    apptest::drainEvents();
    EXPECT_EQ(widget.textLabel()->text(), "65 %");
    EXPECT_EQ(model.getSide(), 2u);
    EXPECT_EQ(model.toggleSide(false), "65");

    widget.setClickHandler([] {});
    EXPECT_EQ(widget.cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(DoubleSidedTest, ValuesAreWrittenAsADefaultStreamWritesThem) {
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {{10.0f, "10"},     {45.5f, "45.5"},       {16.09344f, "16.0934"},
                          {-3.25f, "-3.25"}, {1000000.0f, "1e+06"}, {0.0f, "0"}};
    DoubleSidedPresentationModel<float> model(kFront, kBack, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const float other = -7777.0f;
        NotificationService::Instance().notify<float>(kFront, &other, &c.value);
        EXPECT_EQ(model.getDisplayText(true), c.text);
    }
}

TEST_F(DoubleSidedTest, SuffixesAreSeparatedByOneBlankOnlyWhenSet) {
    DoubleSidedPresentationModel<std::string> model(kFront, kBack, 0);
    publish<std::string>(kFront, "NNW");
    EXPECT_EQ(model.getDisplayText(true), "NNW");
    model.setFrontSuffix("mph");
    EXPECT_EQ(model.getDisplayText(true), "NNW mph");
    EXPECT_EQ(model.getDisplayText(false), "NNW");
    // An empty value with a suffix shows the blank and the suffix.
    model.setBackSuffix("km");
    EXPECT_EQ(model.toggleSide(true), " km");
}

TEST_F(DoubleSidedTest, NotificationsFromAWorkerWhileTheUserFlips) {
    DoubleSidedPresentationModel<float> model(kFront, kBack, 0);
    DoubleSidedDataWidget<DoubleSidedPresentationModel<float>> widget(&model, nullptr);
    std::thread worker([] {
        for (int i = 1; i <= 500; ++i) {
            publish<float>(i % 2 ? kFront : kBack, static_cast<float>(i));
        }
    });
    for (int i = 0; i < 50; ++i) {
        QTest::mouseClick(&widget, Qt::LeftButton);
    }
    worker.join();
    EXPECT_EQ(model.getSide(), 0u);
    EXPECT_EQ(model.getDisplayText(false), "499");
    publish<float>(kFront, 1234.0f);
    ASSERT_TRUE(apptest::waitFor([&] { return widget.textLabel()->text() == "1234"; }));
    EXPECT_EQ(model.toggleSide(false), "500");
}

}  // namespace
