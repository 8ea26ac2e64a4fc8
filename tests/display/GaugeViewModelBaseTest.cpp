// What every gauge model inherits: the defaults of the interface, the background image it
// holds for its widget, and the delegates of the float base.
#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "display/AbstractGaugeViewModelFloat.h"

using namespace vpcore;

namespace {

// The least a float model must add.
class PlainFloatModel : public AbstractGaugeViewModelFloat {
public:
    void constructView() override {}
    const std::vector<TickDisplay*>* getTicks() const override { return &ticks; }
    Vector3D getNeedleEndpoint() const override { return needle; }
    std::vector<std::string> getMajorTickDisplayValues() const override { return {}; }
    void setDigitalValue(const std::string& value) override { digital = value; }
    std::string getDigitalValue() const override { return digital; }
    bool holdsBackgroundImage() const { return backgroundImage != nullptr; }

private:
    std::vector<TickDisplay*> ticks;
    Vector3D needle;
    std::string digital;
};

class Recorder {
public:
    void onProperty(short propId, float value) { properties.emplace_back(propId, value); }
    void onActive(bool active) { actives.push_back(active); }
    std::vector<std::pair<short, float>> properties;
    std::vector<bool> actives;
};

TEST(GaugeViewModelBaseTest, FreshFloatModelIsActiveWithoutToolTipAndIgnoresUnboundDelegates) {
    PlainFloatModel model;
    EXPECT_TRUE(model.isActive());
    EXPECT_EQ(model.getToolTip(), "");
    EXPECT_FLOAT_EQ(model.getValue(), 0.0f);

    const float oldValue = 1.0f, newValue = 2.0f;
    model.handlePropertyChange(0, &oldValue, &newValue);
    model.setActive(false);
    EXPECT_FALSE(model.isActive());
    EXPECT_FLOAT_EQ(model.getValue(), 0.0f);  // the base stores no heard value
}

TEST(GaugeViewModelBaseTest, DelegatesHearNewValuesAndActiveStateAndTheLastBindingWins) {
    PlainFloatModel model;
    Recorder first, second;
    model.setPropertyChangeDelegate(
        fastdelegate::FastDelegate2<short, float>(&first, &Recorder::onProperty));
    model.setPropertyChangeDelegate(
        fastdelegate::FastDelegate2<short, float>(&second, &Recorder::onProperty));
    model.setActiveDelegate(fastdelegate::FastDelegate1<bool>(&second, &Recorder::onActive));

    const float oldValue = 50.0f, newValue = 51.5f;
    model.handlePropertyChange(7, &oldValue, &newValue);
    model.setActive(false);

    EXPECT_TRUE(first.properties.empty());
    ASSERT_EQ(second.properties.size(), 1u);
    EXPECT_EQ(second.properties[0], std::make_pair(short(7), 51.5f));
    EXPECT_EQ(second.actives, std::vector<bool>{false});
}

TEST(GaugeViewModelBaseTest, CopiesCarryStateAndDelegatesButNotTheBackgroundImage) {
    PlainFloatModel model;
    Recorder recorder;
    model.setActiveDelegate(fastdelegate::FastDelegate1<bool>(&recorder, &Recorder::onActive));
    model.setValue(12.0f);
    model.setActive(false);
    model.setBackgroundImage(new QImage(4, 4, QImage::Format_ARGB32));

    PlainFloatModel copy(model);
    EXPECT_FALSE(copy.isActive());
    EXPECT_FLOAT_EQ(copy.getValue(), 12.0f);
    EXPECT_FALSE(copy.holdsBackgroundImage());
    copy.setActive(true);
    EXPECT_EQ(recorder.actives, (std::vector<bool>{false, true}));
    EXPECT_TRUE(model.holdsBackgroundImage());
}

TEST(GaugeViewModelBaseTest, BackgroundImageIsHandedOutOnce) {
    PlainFloatModel model;
    EXPECT_EQ(model.takeBackgroundImage(), nullptr);
    QImage* snapshot = new QImage(256, 256, QImage::Format_ARGB32);
    model.setBackgroundImage(snapshot);
    model.setBackgroundImage(snapshot);  // the same image again is no replacement

    std::unique_ptr<QImage> taken = model.takeBackgroundImage();
    EXPECT_EQ(taken.get(), snapshot);
    EXPECT_EQ(model.takeBackgroundImage(), nullptr);

    // An image nobody took, or one replaced, is freed by the model (checked by the
    // sanitizer builds).
    model.setBackgroundImage(new QImage(8, 8, QImage::Format_ARGB32));
    model.setBackgroundImage(new QImage(8, 8, QImage::Format_ARGB32));
}

TEST(GaugeViewModelBaseTest, EveryBackPlateIsAFreshImage) {
    PlainFloatModel model;
    std::unique_ptr<QImage> first = model.getBackPlateImage();
    std::unique_ptr<QImage> second = model.getBackPlateImage();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first.get(), second.get());
}

}  // namespace
