#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <utility>

#include "weather/IWeatherModel.h"

using vpcore::IWeatherInfoProvider;
using vpcore::IWeatherModel;

namespace {

// Counts its own destruction, so a test sees every delete of a provider.
class CountingProvider : public IWeatherInfoProvider {
public:
    explicit CountingProvider(int& deletions) : deletions(deletions) {}
    ~CountingProvider() override { ++deletions; }
    bool update(IWeatherModel* const) override { return true; }

private:
    int& deletions;
};

class Model : public IWeatherModel {};

}  // namespace

TEST(IWeatherModelTest, StartsWithoutProvider) {
    Model model;
    EXPECT_EQ(model.getProviderPtr(), nullptr);
    try {
        model.getProvider();
        FAIL() << "no exception";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "No weather info provider has been set.");
    }
}

TEST(IWeatherModelTest, SettingAProviderDeletesThePreviousOneOnce) {
    int firstDeleted = 0;
    int secondDeleted = 0;
    {
        Model model;
        auto first = std::make_unique<CountingProvider>(firstDeleted);
        IWeatherInfoProvider* firstPtr = first.get();
        model.setProvider(std::move(first));
        EXPECT_EQ(model.getProviderPtr(), firstPtr);
        EXPECT_EQ(&model.getProvider(), firstPtr);

        model.setProvider(std::make_unique<CountingProvider>(secondDeleted));
        EXPECT_EQ(firstDeleted, 1);
        EXPECT_EQ(secondDeleted, 0);
    }
    EXPECT_EQ(firstDeleted, 1);
    EXPECT_EQ(secondDeleted, 1);
}

TEST(IWeatherModelTest, HandingBackTheHeldProviderKeepsIt) {
    int deleted = 0;
    {
        Model model;
        model.setProvider(std::make_unique<CountingProvider>(deleted));
        IWeatherInfoProvider* held = &model.getProvider();
        model.setProvider(std::unique_ptr<IWeatherInfoProvider>(held));
        EXPECT_EQ(deleted, 0);
        EXPECT_EQ(model.getProviderPtr(), held);
    }
    EXPECT_EQ(deleted, 1);
}

TEST(IWeatherModelTest, AnEmptyProviderDeletesTheHeldOne) {
    int deleted = 0;
    Model model;
    model.setProvider(std::make_unique<CountingProvider>(deleted));
    model.setProvider(nullptr);
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(model.getProviderPtr(), nullptr);
}

TEST(IWeatherModelTest, MovingAModelHandsItsProviderOver) {
    int firstDeleted = 0;
    int secondDeleted = 0;
    {
        Model source;
        source.setProvider(std::make_unique<CountingProvider>(firstDeleted));
        const IWeatherInfoProvider* provider = source.getProviderPtr();

        Model target(std::move(source));
        EXPECT_EQ(source.getProviderPtr(), nullptr);
        EXPECT_EQ(target.getProviderPtr(), provider);

        Model assigned;
        assigned.setProvider(std::make_unique<CountingProvider>(secondDeleted));
        assigned = std::move(target);
        EXPECT_EQ(secondDeleted, 1);
        EXPECT_EQ(target.getProviderPtr(), nullptr);
        EXPECT_EQ(assigned.getProviderPtr(), provider);
        EXPECT_EQ(firstDeleted, 0);
    }
    EXPECT_EQ(firstDeleted, 1);
    EXPECT_EQ(secondDeleted, 1);
}
