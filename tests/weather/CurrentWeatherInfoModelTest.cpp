#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "weather/CurrentWeatherInfoModel.h"

using namespace vpcore;

namespace {

typedef std::map<short, std::string> Values;
typedef CurrentWeatherInfoModel::ProviderLinks Links;

std::string show(float v) {
    std::ostringstream text;
    text << v << "f";
    return text.str();
}
std::string show(int v) {
    return std::to_string(v);
}
std::string show(const std::string& v) {
    return "'" + v + "'";
}
std::string show(const Links& links) {
    std::string text = "[";
    for (const auto& link : links) {
        text += link.first + "=" + link.second + ";";
    }
    return text + "]";
}

// Writes every notification it hears as "id: old -> new" into one shared journal, so a test
// sees the order across value types.
template <class T>
class Recorder : public IPropertyChangeListener<T> {
public:
    explicit Recorder(std::vector<std::string>& journal) : journal(journal) {}
    void handlePropertyChange(short id, const T* const oldValue, const T* const newValue) override {
        journal.push_back(std::to_string(id) + ": " + show(*oldValue) + " -> " + show(*newValue));
    }

private:
    std::vector<std::string>& journal;
};

class ResetRecorder : public NoPropertyChangeListener {
public:
    explicit ResetRecorder(std::vector<std::string>& journal) : journal(journal) {}
    void handlePropertyChange(short id, const int* const, const int* const) override {
        journal.push_back(std::to_string(id) + ": reset");
    }

private:
    std::vector<std::string>& journal;
};

class ThrowingListener : public FloatPropertyChangeListener {
public:
    void handlePropertyChange(short, const float* const, const float* const) override {
        throw std::runtime_error("listener failed");
    }
};

// Writes a fixed observation into the model it is asked to update.
class FixedProvider : public IWeatherInfoProvider {
public:
    explicit FixedProvider(bool result) : result(result) {}
    bool update(IWeatherModel* const model) override {
        updatedModel = model;
        if (auto* current = dynamic_cast<CurrentWeatherInfoModel*>(model)) {
            current->setProperties({{PROP_TEMP_F, "61.0"}, {PROP_LOCATION, "San Jose, CA"}});
        }
        return result;
    }
    IWeatherModel* updatedModel = nullptr;

private:
    bool result;
};

const std::set<short> kFloatIds = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 14, 15};
const std::set<short> kStringIds = {11, 12, 13, 16, 18, 20, 21};

class CurrentWeatherInfoModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        model = std::make_unique<CurrentWeatherInfoModel>();
        NotificationService& service = NotificationService::Instance();
        service.addPropertyChangeListener<float>(&floats, kFloatIds);
        service.addPropertyChangeListener<int>(&ints, {PROP_RELATIVE_HUMIDITY});
        service.addPropertyChangeListener<std::string>(&strings, kStringIds);
        service.addPropertyChangeListener<Links>(&links, {PROP_PROVIDER_LINKS});
        service.addPropertyChangeListener<int>(&resets, {PROP_CONDITIONS_RESET});
    }
    void TearDown() override {
        model.reset();
        NotificationService::Instance().reset();
    }
    // Applies values and returns what was heard.
    std::vector<std::string> apply(const Values& values) {
        journal.clear();
        model->setProperties(values);
        return journal;
    }

    std::vector<std::string> journal;
    Recorder<float> floats{journal};
    Recorder<int> ints{journal};
    Recorder<std::string> strings{journal};
    Recorder<Links> links{journal};
    ResetRecorder resets{journal};
    std::unique_ptr<CurrentWeatherInfoModel> model;
};

}  // namespace

TEST_F(CurrentWeatherInfoModelTest, RegistersItsPropertyIds) {
    const std::set<short> expected = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                      11, 12, 13, 14, 15, 16, 18, 19, 20, 21, 28};
    EXPECT_EQ(NotificationService::Instance().getRegisteredPropertyIds(), expected);
    EXPECT_THROW(CurrentWeatherInfoModel(), std::invalid_argument);
}

TEST_F(CurrentWeatherInfoModelTest, ConvertsEachTextByItsPropertyType) {
    struct Case {
        const char* name;
        Values before;
        Values values;
        std::vector<std::string> heard;
        std::string warning = "";  // the value text of the expected WARN line, or empty
    };
    const std::vector<Case> cases = {
        {"floats in single precision",
         {},
         {{0, "61.5"}, {7, "29.92"}, {6, "1013"}, {14, "10.00"}},
         {"0: 0f -> 61.5f", "6: 0f -> 1013f", "7: 0f -> 29.92f", "14: 0f -> 10f"}},
        {"leading blanks and trailing text", {}, {{2, "  -12.25 F"}}, {"2: 0f -> -12.25f"}},
        // No reading is NaN, never 0: a blank visibility is not fog, a missing wind not calm.
        {"unreadable number is no reading", {{9, "5.8"}}, {{9, "NA"}}, {"9: 5.8f -> nanf"}},
        {"absent reading",
         {{14, "10"}},
         {{14, ""}, {15, ""}},
         {"14: 10f -> nanf", "15: 0f -> nanf"}},
        {"absent humidity", {{8, "50"}}, {{8, ""}}, {"8: 50 -> -1"}},
        {"humidity truncates toward zero", {}, {{8, "67.9"}}, {"8: 0 -> 67"}},
        {"humidity just below zero", {{8, "50"}}, {{8, "-0.5"}}, {"8: 50 -> 0"}},
        {"humidity too large for an int", {{8, "50"}}, {{8, "1e12"}}, {}, "1e12"},
        {"strings stored unchanged",
         {},
         {{11, " North "}, {13, ""}, {18, "http://x/skc.png"}},
         {"11: '' -> ' North '", "18: '' -> 'http://x/skc.png'"}},
        {"links are ignored here", {}, {{19, "Home=http://x"}}, {}},
        {"current location is not a condition",
         {},
         {{17, "Springfield, MO"}},
         {},
         "Springfield, MO"},
        {"alert id", {}, {{25, "x"}}, {}, "x"},
        {"id above the table", {}, {{30, "y"}}, {}, "y"},
        {"negative id", {}, {{-1, "z"}}, {}, "z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        apply(c.before);
        testsupport::LogCapture log;
        EXPECT_EQ(apply(c.values), c.heard);
        if (c.warning.empty()) {
            EXPECT_EQ(log.count("WARN"), 0) << log.text();
        } else {
            const short id = c.values.begin()->first;
            EXPECT_TRUE(log.contains("WARN: Could not update property with PropId " +
                                     std::to_string(id) + " and value " + c.warning + "\n"))
                << log.text();
        }
    }
}

TEST_F(CurrentWeatherInfoModelTest, BadEntryDoesNotStopTheEntriesAfterIt) {
    apply({{PROP_LOCATION, "Denton, TX"}});
    testsupport::LogCapture log;
    const std::vector<std::string> heard = apply({{PROP_LOCATION, "Denton, TX"},
                                                  {PROP_CURRENT_LOCATION, "Denton, TX"},
                                                  {PROP_ICON_URL, "icon"},
                                                  {PROP_PROVIDER_LINKS, ""},
                                                  {PROP_PROVIDER_LOGO, "logo"},
                                                  {PROP_PROVIDER_LINK, "link"},
                                                  {PROP_ALERT_DETAILS, "d"}});
    EXPECT_EQ(heard, (std::vector<std::string>{"18: '' -> 'icon'", "20: '' -> 'logo'",
                                               "21: '' -> 'link'"}));
    EXPECT_EQ(log.count("WARN: Could not update property with PropId "), 2) << log.text();
    EXPECT_TRUE(
        log.contains("WARN: Could not update property with PropId 17 and value Denton, TX\n"));
    EXPECT_TRUE(log.contains("WARN: Could not update property with PropId 25 and value d\n"));
}

TEST_F(CurrentWeatherInfoModelTest, ThrowingListenerIsLoggedAndTheWalkGoesOn) {
    ThrowingListener thrower;
    NotificationService::Instance().addPropertyChangeListener<float>(&thrower, {PROP_TEMP_C});
    testsupport::LogCapture log;
    const std::vector<std::string> heard =
        apply({{PROP_TEMP_F, "50"}, {PROP_TEMP_C, "10"}, {PROP_DEWPOINT_F, "40"}});
    NotificationService::Instance().removePropertyChangeListener<float>(&thrower, {PROP_TEMP_C});

    EXPECT_TRUE(log.contains("WARN: Could not update property with PropId 1 and value 10\n"))
        << log.text();
    // The listeners of 1 after the thrower may or may not have been reached; 0 and 4 were.
    EXPECT_EQ(heard.front(), "0: 0f -> 50f");
    EXPECT_EQ(heard.back(), "4: 0f -> 40f");
}

TEST_F(CurrentWeatherInfoModelTest, NewLocationResetsBeforeAnyValueIsNotified) {
    apply({{PROP_TEMP_F, "50"},
           {PROP_RELATIVE_HUMIDITY, "83"},
           {PROP_WIND_DIR, "N"},
           {PROP_LOCATION, "Denton, TX"},
           {PROP_OBSERVATION_TIME, "5:53 pm"},
           {PROP_ICON_URL, "icon"},
           {PROP_PROVIDER_LOGO, "logo"},
           {PROP_PROVIDER_LINK, "link"}});
    model->setProviderLinks({{"Home", "http://nws"}});
    ASSERT_EQ(model->getLocation(), "Denton, TX");
    ASSERT_EQ(model->getObservationTime(), "5:53 pm");

    const std::vector<std::string> heard = apply(
        {{PROP_TEMP_F, "50"}, {PROP_LOCATION, "Springfield, MO"}, {PROP_PROVIDER_LOGO, "logo"}});
    // The observation values start again from cleared fields; logo and links are kept.
    EXPECT_EQ(heard, (std::vector<std::string>{"28: reset", "0: 0f -> 50f",
                                               "16: '' -> 'Springfield, MO'"}));
    EXPECT_EQ(model->getObservationTime(), "");
    EXPECT_EQ(model->getLocation(), "Springfield, MO");
    journal.clear();
    model->setProviderLinks({{"Home", "http://nws"}});
    EXPECT_TRUE(journal.empty());
    // The cleared fields were not notified one by one, so the old values come back as changes;
    // the provider link was kept.
    EXPECT_EQ(apply({{PROP_RELATIVE_HUMIDITY, "83"},
                     {PROP_WIND_DIR, "N"},
                     {PROP_OBSERVATION_TIME, "5:53 pm"},
                     {PROP_ICON_URL, "icon"},
                     {PROP_PROVIDER_LINK, "link"}}),
              (std::vector<std::string>{"8: 0 -> 83", "11: '' -> 'N'", "12: '' -> '5:53 pm'",
                                        "18: '' -> 'icon'"}));
}

TEST_F(CurrentWeatherInfoModelTest, SameLocationOrNoLocationDoesNotReset) {
    apply({{PROP_TEMP_F, "50"}, {PROP_LOCATION, "Denton, TX"}});
    EXPECT_EQ(apply({{PROP_TEMP_F, "51"}, {PROP_LOCATION, "Denton, TX"}}),
              (std::vector<std::string>{"0: 50f -> 51f"}));
    EXPECT_EQ(apply({{PROP_TEMP_F, "52"}}), (std::vector<std::string>{"0: 51f -> 52f"}));
    // The first observation ever also starts with a reset: "" differs from its location.
    TearDown();
    SetUp();
    EXPECT_EQ(apply({{PROP_LOCATION, "Denton, TX"}}),
              (std::vector<std::string>{"28: reset", "16: '' -> 'Denton, TX'"}));
}

TEST_F(CurrentWeatherInfoModelTest, SameValuesTwiceNotifyOnlyOnce) {
    const Values observation = {{PROP_TEMP_F, "61.0"},           {PROP_TEMP_C, "16.1"},
                                {PROP_RELATIVE_HUMIDITY, "83"},  {PROP_WIND_DIR, "N"},
                                {PROP_LOCATION, "San Jose, CA"}, {PROP_WEATHER, "Fair"}};
    EXPECT_EQ(apply(observation).size(), 7u);  // the reset and six values
    EXPECT_TRUE(apply(observation).empty());
}

TEST_F(CurrentWeatherInfoModelTest, ProviderLinksAreNotifiedWhenTheyChange) {
    journal.clear();
    model->setProviderLinks({{"Home", "http://a"}, {"Radar", "http://b"}});
    model->setProviderLinks({{"Home", "http://a"}, {"Radar", "http://b"}});
    model->setProviderLinks({});
    EXPECT_EQ(journal, (std::vector<std::string>{"19: [] -> [Home=http://a;Radar=http://b;]",
                                                 "19: [Home=http://a;Radar=http://b;] -> []"}));
}

TEST_F(CurrentWeatherInfoModelTest, PerformTaskAsksTheProviderToUpdateThisModel) {
    EXPECT_EQ(model->getTaskName(), "Current Conditions Update");
    EXPECT_EQ(model->getDescription(), "Updating current conditions.");
    EXPECT_TRUE(model->contributesToProgressBar());
    EXPECT_FALSE(model->canLiveForever());
    EXPECT_THROW(model->performTask(), std::logic_error);

    for (const bool result : {true, false}) {
        SCOPED_TRACE(result);
        auto provider = std::make_unique<FixedProvider>(result);
        FixedProvider* seen = provider.get();
        model->setProvider(std::move(provider));
        EXPECT_EQ(model->performTask(), result);
        EXPECT_EQ(seen->updatedModel, static_cast<IWeatherModel*>(model.get()));
    }
    EXPECT_EQ(model->getLocation(), "San Jose, CA");
}

TEST_F(CurrentWeatherInfoModelTest, ThrowingResetListenerIsLoggedAndTheNewPlaceIsKept) {
    class ThrowingResetListener : public NoPropertyChangeListener {
    public:
        void handlePropertyChange(short, const int* const, const int* const) override {
            ++calls;
            throw std::runtime_error("gauge failed");
        }
        int calls = 0;
    };
    ThrowingResetListener thrower;
    NotificationService::Instance().addPropertyChangeListener<int>(&thrower,
                                                                   {PROP_CONDITIONS_RESET});
    testsupport::LogCapture log;

    EXPECT_NO_THROW(apply({{PROP_TEMP_F, "50"}, {PROP_LOCATION, "Denton, TX"}}));
    EXPECT_TRUE(log.contains("WARN: Could not notify the reset of the conditions: gauge failed\n"))
        << log.text();
    EXPECT_EQ(model->getLocation(), "Denton, TX");

    // The next update of the same place neither resets nor fails again.
    const std::vector<std::string> heard =
        apply({{PROP_TEMP_F, "51"}, {PROP_LOCATION, "Denton, TX"}});
    NotificationService::Instance().removePropertyChangeListener<int>(&thrower,
                                                                      {PROP_CONDITIONS_RESET});
    EXPECT_EQ(thrower.calls, 1);
    EXPECT_EQ(heard, (std::vector<std::string>{"0: 50f -> 51f"}));
}
