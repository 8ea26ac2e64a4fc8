#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QEnterEvent>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "HttpTestServer.h"
#include "base/Settings.h"
#include "base/SoundPlayer.h"
#include "forecast/ForecastPanel.h"
#include "forecast/ForecastWidget.h"
#include "shell/Startup.h"
#include "weather/ForecastModel.h"
#include "weather/ForecastProviderImpl.h"
#include "weather/IWeatherInfoProvider.h"
#include "widgets/VPDataEvent.h"

using testsupport::HttpTestServer;
using vpcore::ForecastItem_t;
using vpcore::ForecastModel;

namespace {

// The virtual display has no audio device: the test says whether one exists, and hears what
// the program's sound player is asked to play.
class SoundRecordingPanel : public ForecastPanel {
public:
    SoundRecordingPanel(std::shared_ptr<ForecastModel> model, QWidget* parent)
        : ForecastPanel(std::move(model), parent) {
        QObject::connect(&SoundPlayer::instance(), &SoundPlayer::soundRequested, this,
                         [this](const QString& file) { played.push_back(file); });
    }

    bool soundAvailable = true;
    std::vector<QString> played;

protected:
    bool isSoundAvailable() const override { return soundAvailable; }
};

ForecastItem_t* makeItem(const std::string& name, const std::string& longDesc,
                         ForecastItem_t::Condition_t condition, int temperature = 50,
                         const std::string& hiLo = "Hi") {
    auto* item = new ForecastItem_t();
    item->periodName = name;
    item->shortDesc = "Short " + name;
    item->longDesc = longDesc;
    item->hiLoLabel = hiLo;
    item->temperature = temperature;
    item->condition = condition;
    item->icon = std::make_unique<QImage>(8, 8, QImage::Format_RGB32);
    item->icon->fill(Qt::blue);
    return item;
}

// One period of that name per text, each with an icon of the size of the NWS's forecast icons.
std::vector<ForecastItem_t*> periodsWithTexts(const char* name,
                                              const std::vector<const char*>& texts) {
    std::vector<ForecastItem_t*> items;
    for (const char* text : texts) {
        items.push_back(makeItem(name, "Words.", ForecastItem_t::CONDITION_SUNNY));
        items.back()->shortDesc = text;
        items.back()->icon = std::make_unique<QImage>(55, 58, QImage::Format_RGB32);
        items.back()->icon->fill(Qt::blue);
    }
    return items;
}

std::vector<ForecastWidget*> cardsOf(const QWidget& panel) {
    std::vector<ForecastWidget*> cards;
    for (QWidget* widget : panel.findChildren<QWidget*>()) {
        if (auto* card = dynamic_cast<ForecastWidget*>(widget)) {
            cards.push_back(card);
        }
    }
    return cards;
}

QString labelText(const ForecastWidget* card, const char* name) {
    const QLabel* label = card->findChild<QLabel*>(name);
    return label == nullptr ? QString("<missing>") : label->text();
}

void hover(ForecastWidget* card) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(card, &enter);
}

void leave(ForecastWidget* card) {
    QEvent leaveEvent(QEvent::Leave);
    QCoreApplication::sendEvent(card, &leaveEvent);
}

// Announces from a worker thread, as the scheduler's runner does after an update.
void announceFromWorker(ForecastPanel& panel) {
    std::thread runner([&panel] { panel.requestRebuild(); });
    runner.join();
}

// Lets the rebuild run and the replaced cards be freed.
void settle() {
    apptest::drainEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class ForecastPanelTest : public ::testing::Test {
protected:
    void SetUp() override { setSetting("PLAY_SOUNDS", true); }
    void TearDown() override { setSetting("PLAY_SOUNDS", true); }

    // The model with the given periods, and the panel shown with its cards.
    void showPeriods(const std::vector<ForecastItem_t*>& items) {
        model->assignForecastItems(items);
        announceFromWorker(panel);
        ASSERT_TRUE(apptest::waitFor([&] { return cardsOf(panel).size() == items.size(); }));
        settle();
    }
    QTextEdit* textBox() { return panel.findChild<QTextEdit*>(); }

    std::shared_ptr<ForecastModel> model = std::make_shared<ForecastModel>();
    SoundRecordingPanel panel{model, nullptr};
};

TEST_F(ForecastPanelTest, CardsFromAFixtureForecastShowEachPeriod) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    HttpTestServer server;
    QFile file(QString(OMBRIX_FIXTURE_DIR) + "/forecast/mapclick_night_4_periods.xml");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::string dwml = file.readAll().toStdString();
    // The icon links are absolute; point them at this server. Only the first icon is served,
    // so the second period's download fails and later periods have no link at all.
    const std::string site = "https://forecast.weather.gov";
    for (size_t at = dwml.find(site); at != std::string::npos; at = dwml.find(site, at)) {
        dwml.replace(at, site.size(), server.url(""));
    }
    QImage png(6, 6, QImage::Format_ARGB32);
    png.fill(Qt::green);
    QByteArray pngBytes;
    QBuffer buffer(&pngBytes);
    buffer.open(QIODevice::WriteOnly);
    png.save(&buffer, "PNG");
    server.addRoute("/MapClick.php", HttpTestServer::ok(dwml));
    server.addRoute("/newimages/medium/nsn.png",
                    HttpTestServer::ok(pngBytes.toStdString(), "image/png"));
    qputenv("OMBRIX_FORECAST_HOST", server.host().c_str());
    model->setProvider(
        std::make_unique<vpcore::ForecastProviderImpl>(std::make_pair(61.2f, -149.9f)));

    bool updated = false;
    std::thread runner([&] { updated = model->performTask(); });
    runner.join();
    qunsetenv("OMBRIX_FORECAST_HOST");
    ASSERT_TRUE(updated);
    ASSERT_TRUE(apptest::waitFor([&] { return cardsOf(panel).size() == 4; }));

    struct Expected {
        const char* name;
        const char* shortDesc;
        const char* hiLo;
        const char* temperature;
        bool hasIcon;
    };
    const Expected expected[] = {{"Tonight", "Snow Showers", "Lo:", "-3", true},
                                 {"Saturday", "Mostly Sunny", "Hi:", "21", false},
                                 {"Saturday Night", "Chance Sleet", "Lo:", "12", false},
                                 {"Sunday", "Windy", "Hi:", "30", false}};
    const std::vector<ForecastWidget*> cards = cardsOf(panel);
    for (size_t i = 0; i < cards.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(labelText(cards[i], "periodName"), expected[i].name);
        EXPECT_EQ(labelText(cards[i], "shortDesc"), expected[i].shortDesc);
        EXPECT_EQ(labelText(cards[i], "hiLoLabel"), expected[i].hiLo);
        EXPECT_EQ(labelText(cards[i], "temperature"), expected[i].temperature);
        const QLabel* icon = cards[i]->findChild<QLabel*>("icon");
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(!icon->pixmap().isNull(), expected[i].hasIcon);
        EXPECT_EQ(icon->text(), expected[i].hasIcon ? QString() : QString("No image"));
        EXPECT_GE(cards[i]->minimumWidth(), 152);
        EXPECT_GE(cards[i]->minimumHeight(), 158);
    }
    hover(cards[0]);
    EXPECT_EQ(textBox()->toPlainText(), "SNOW SHOWERS, mainly before midnight. Low around -3.");
    leave(cards[0]);
}

// The panel at its size in the main window, with the program's style sheet and short texts as
// long as the NWS writes them: each card shows all of its text, and the row scrolls sideways
// only.
TEST_F(ForecastPanelTest, EveryCardShowsItsWholeTextAndOnlyTheScrollBarsNeeded) {
    qApp->setStyleSheet(applicationStyleSheet());
    panel.resize(598, 400);
    panel.show();
    showPeriods(periodsWithTexts("Wednesday Night",
                                 {"Mostly Cloudy then Chance Showers", "Gradual Clearing",
                                  "Slight Chance Rain Showers then Mostly Sunny", "Sunny",
                                  "Chance Showers and Thunderstorms", "Partly Cloudy",
                                  "Patchy Freezing Fog then Mostly Cloudy"}));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    apptest::drainEvents();

    for (ForecastWidget* card : cardsOf(panel)) {
        const QLabel* label = card->findChild<QLabel*>("shortDesc");
        const QString text = label->text();
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(label->toolTip(), text);
        // Every word fits on a line of the label, and every line fits in the card.
        const QFontMetrics metrics(label->font());
        for (const QString& word : text.split(' ')) {
            EXPECT_LE(metrics.horizontalAdvance(word), label->contentsRect().width());
        }
        if (!label->wordWrap()) {
            EXPECT_LE(metrics.horizontalAdvance(text), label->contentsRect().width());
        }
        EXPECT_GE(label->height(), label->heightForWidth(label->width()));
        EXPECT_LE(label->geometry().bottom(), card->height());
        for (const QLabel* other : card->findChildren<QLabel*>()) {
            EXPECT_LE(other->mapTo(card, QPoint(0, other->height())).y(), card->height())
                << other->objectName().toStdString();
        }
    }
    auto* scroll = panel.findChild<QScrollArea*>();
    EXPECT_TRUE(scroll->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
    EXPECT_LE(scroll->widget()->height(), scroll->viewport()->height());
    qApp->setStyleSheet(QString());
}

// Texts of one, two and three lines: every row of the cards (name, icon, text, temperature)
// starts at the same height in each card, the text at the top of its room.
TEST_F(ForecastPanelTest, CardRowsStayInLineWhateverTheTextsLength) {
    qApp->setStyleSheet(applicationStyleSheet());
    panel.resize(598, 400);
    panel.show();
    showPeriods(
        periodsWithTexts("Thursday", {"Sunny", "Chance Showers", "Chance Showers and Thunderstorms",
                                      "Slight Chance Rain Showers then Mostly Sunny"}));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    apptest::drainEvents();

    const std::vector<ForecastWidget*> cards = cardsOf(panel);
    ASSERT_EQ(cards.size(), 4u);
    const auto lines = [](const QLabel* label) {
        return label->fontMetrics()
                   .boundingRect(label->contentsRect(), Qt::TextWordWrap, label->text())
                   .height() /
               label->fontMetrics().lineSpacing();
    };
    EXPECT_EQ(lines(cards[0]->findChild<QLabel*>("shortDesc")), 1);
    EXPECT_EQ(lines(cards[3]->findChild<QLabel*>("shortDesc")), 3);
    for (const char* name : {"periodName", "icon", "shortDesc", "hiLoLabel", "temperature"}) {
        SCOPED_TRACE(name);
        const QLabel* first = cards[0]->findChild<QLabel*>(name);
        const int top = first->mapTo(&panel, QPoint(0, 0)).y();
        for (const ForecastWidget* card : cards) {
            const QLabel* label = card->findChild<QLabel*>(name);
            SCOPED_TRACE(card->findChild<QLabel*>("shortDesc")->text().toStdString());
            EXPECT_EQ(label->mapTo(&panel, QPoint(0, 0)).y(), top);
            EXPECT_EQ(label->height(), first->height());
        }
    }
    EXPECT_TRUE(cards[0]->findChild<QLabel*>("shortDesc")->alignment() & Qt::AlignTop);
    qApp->setStyleSheet(QString());
}

// The tip of a card's text, shown while the pointer is on the card (its text then black) or
// not, is readable under the program's style sheet.
TEST_F(ForecastPanelTest, CardTextToolTipsAreReadable) {
    setSetting("PLAY_SOUNDS", false);
    qApp->setStyleSheet(applicationStyleSheet());
    panel.resize(598, 400);
    panel.show();
    showPeriods({makeItem("Tonight", "Clear.", ForecastItem_t::CONDITION_NIGHT)});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    const std::vector<ForecastWidget*> cards = cardsOf(panel);
    ASSERT_EQ(cards.size(), 1u);
    QLabel* text = cards[0]->findChild<QLabel*>("shortDesc");
    for (const bool hovered : {true, false}) {
        SCOPED_TRACE(hovered ? "hovered" : "not hovered");
        if (hovered) {
            hover(cards[0]);
        }
        const apptest::ShownToolTip tip = apptest::showToolTip(text);
        EXPECT_EQ(tip.text, "Short Tonight");
        EXPECT_GE(tip.textPixels, 20) << "a box with no text";
        EXPECT_GE(tip.bestContrast, 7.0);
        if (hovered) {
            leave(cards[0]);
        }
    }
    qApp->setStyleSheet(QString());
}

TEST_F(ForecastPanelTest, HoverShowsTheWordedForecastInBlackAndLeavingClearsIt) {
    setSetting("PLAY_SOUNDS", false);
    showPeriods({makeItem("Tonight", "Clear, low around 20.", ForecastItem_t::CONDITION_NIGHT),
                 makeItem("Monday", "Rain likely.", ForecastItem_t::CONDITION_RAIN)});
    const std::vector<ForecastWidget*> cards = cardsOf(panel);
    const std::vector<QString> texts = {"Clear, low around 20.", "Rain likely."};
    for (size_t i = 0; i < cards.size(); ++i) {
        SCOPED_TRACE(i);
        hover(cards[i]);
        EXPECT_EQ(textBox()->toPlainText(), texts[i]);
        const QList<QLabel*> labels = cards[i]->findChildren<QLabel*>();
        ASSERT_EQ(labels.size(), 5);
        for (const QLabel* label : labels) {
            EXPECT_TRUE(label->styleSheet().contains("color: black"))
                << label->objectName().toStdString();
        }
        // The other card keeps its colours.
        for (const QLabel* label : cards[1 - i]->findChildren<QLabel*>()) {
            EXPECT_FALSE(label->styleSheet().contains("color: black"));
        }
        leave(cards[i]);
        EXPECT_EQ(textBox()->toPlainText(), QString());
        for (const QLabel* label : labels) {
            EXPECT_TRUE(label->styleSheet().contains("color: white"));
        }
    }
}

TEST_F(ForecastPanelTest, IconThatIsMissingOrEmptyShowsNoImage) {
    ForecastItem_t* withoutIcon = makeItem("Today", "Sunny.", ForecastItem_t::CONDITION_SUNNY);
    withoutIcon->icon.reset();
    ForecastItem_t* emptyIcon = makeItem("Tonight", "Clear.", ForecastItem_t::CONDITION_NIGHT);
    emptyIcon->icon = std::make_unique<QImage>();
    showPeriods(
        {withoutIcon, emptyIcon, makeItem("Monday", "Sunny.", ForecastItem_t::CONDITION_SUNNY)});
    const std::vector<ForecastWidget*> cards = cardsOf(panel);
    const bool hasIcon[] = {false, false, true};
    for (size_t i = 0; i < cards.size(); ++i) {
        SCOPED_TRACE(i);
        const QLabel* icon = cards[i]->findChild<QLabel*>("icon");
        EXPECT_EQ(icon->text(), hasIcon[i] ? QString() : QString("No image"));
        EXPECT_EQ(icon->pixmap().size(), hasIcon[i] ? QSize(8, 8) : QSize(0, 0));
    }
}

// Each rebuild gets fresh records from the model, and the replaced cards free theirs: under
// AddressSanitizer a record freed twice or left behind fails the run.
TEST_F(ForecastPanelTest, AnnouncingTwiceWithoutNewItemsNeitherFreesTwiceNorLeaks) {
    showPeriods({makeItem("Tonight", "Clear.", ForecastItem_t::CONDITION_NIGHT),
                 makeItem("Monday", "Sunny.", ForecastItem_t::CONDITION_SUNNY)});
    std::set<const ForecastItem_t*> seen;
    for (const ForecastWidget* card : cardsOf(panel)) {
        seen.insert(card->getForecastItem());
    }
    std::thread runner([this] {
        panel.requestRebuild();
        panel.requestRebuild();
    });
    runner.join();
    settle();
    const std::vector<ForecastWidget*> cards = cardsOf(panel);
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(labelText(cards[0], "periodName"), "Tonight");
    EXPECT_EQ(labelText(cards[1], "periodName"), "Monday");
    hover(cards[1]);
    EXPECT_EQ(textBox()->toPlainText(), "Sunny.");
    leave(cards[1]);
    for (const ForecastWidget* card : cards) {
        EXPECT_EQ(seen.count(card->getForecastItem()), 0u);
    }
}

TEST_F(ForecastPanelTest, AnUpdateWithoutItemsEmptiesTheRowAndLeavesTheText) {
    showPeriods({makeItem("Tonight", "Clear.", ForecastItem_t::CONDITION_NIGHT)});
    hover(cardsOf(panel)[0]);
    model->assignForecastItems({});
    announceFromWorker(panel);
    ASSERT_TRUE(apptest::waitFor([&] { return cardsOf(panel).empty(); }));
    EXPECT_EQ(textBox()->toPlainText(), "Clear.");
}

TEST_F(ForecastPanelTest, AnyTextEventPostedToThePanelRebuilds) {
    model->assignForecastItems({makeItem("Tonight", "Clear.", ForecastItem_t::CONDITION_NIGHT)});
    QCoreApplication::postEvent(&panel, new VPDataEventQString("not empty"));
    EXPECT_TRUE(apptest::waitFor([&] { return cardsOf(panel).size() == 1; }));
}

TEST_F(ForecastPanelTest, EachConditionHasItsAmbienceFile) {
    const std::pair<int, const char*> cases[] = {
        {ForecastItem_t::CONDITION_SUNNY, "resources/birds_sunny.wav"},
        {ForecastItem_t::CONDITION_NIGHT, "resources/crickets_night.wav"},
        {ForecastItem_t::CONDITION_RAIN, "resources/rain.wav"},
        {ForecastItem_t::CONDITION_THUNDERSTORM, "resources/thunderstorm.wav"},
        {ForecastItem_t::CONDITION_WINDY, "resources/windy.wav"},
        {ForecastItem_t::CONDITION_SNOW, "resources/wind_snow.wav"},
        {6, ""},
        {-1, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(ForecastPanel::soundFileFor(c.first), c.second);
        if (*c.second == '\0') {
            continue;
        }
        // A playable file: 16-bit PCM WAV of a few seconds.
        QFile wav(QString(OMBRIX_SOURCE_DIR) + "/" + c.second);
        ASSERT_TRUE(wav.open(QIODevice::ReadOnly));
        const QByteArray header = wav.read(44);
        ASSERT_EQ(header.size(), 44);
        EXPECT_EQ(header.left(4), "RIFF");
        EXPECT_EQ(header.mid(8, 8), "WAVEfmt ");
        const auto u16 = [&header](int at) {
            return static_cast<quint16>(static_cast<quint8>(header[at]) |
                                        static_cast<quint8>(header[at + 1]) << 8);
        };
        EXPECT_EQ(u16(20), 1);  // PCM
        EXPECT_EQ(u16(34), 16);
        const quint32 rate = u16(24) | static_cast<quint32>(u16(26)) << 16;
        const double seconds = (wav.size() - 44) / double(rate * u16(22) * 2);
        EXPECT_GE(seconds, 2.0);
        EXPECT_LE(seconds, 8.0);
    }
}

TEST_F(ForecastPanelTest, HoveringLongerThan600msPlaysTheConditionsSoundOnce) {
    showPeriods({makeItem("Tonight", "Thunder.", ForecastItem_t::CONDITION_THUNDERSTORM),
                 makeItem("Monday", "Windy.", ForecastItem_t::CONDITION_WINDY)});
    const std::vector<ForecastWidget*> cards = cardsOf(panel);
    hover(cards[0]);
    ASSERT_TRUE(apptest::waitFor([&] { return !panel.played.empty(); }));
    EXPECT_EQ(panel.played, std::vector<QString>{"resources/thunderstorm.wav"});
    // However long the pointer stays, the sound is not repeated.
    apptest::waitFor([] { return false; }, 1500);
    EXPECT_EQ(panel.played.size(), 1u);

    leave(cards[0]);
    hover(cards[1]);
    ASSERT_TRUE(apptest::waitFor([&] { return panel.played.size() == 2; }));
    EXPECT_EQ(panel.played[1], "resources/windy.wav");
    leave(cards[1]);
}

TEST_F(ForecastPanelTest, LeavingWithin600msCancelsTheSound) {
    showPeriods({makeItem("Tonight", "Thunder.", ForecastItem_t::CONDITION_THUNDERSTORM),
                 makeItem("Monday", "Sunny.", ForecastItem_t::CONDITION_SUNNY)});
    const std::vector<ForecastWidget*> cards = cardsOf(panel);
    hover(cards[0]);
    leave(cards[0]);
    hover(cards[1]);
    ASSERT_TRUE(apptest::waitFor([&] { return !panel.played.empty(); }));
    apptest::waitFor([] { return false; }, 800);
    EXPECT_EQ(panel.played, std::vector<QString>{"resources/birds_sunny.wav"});
    leave(cards[1]);
}

TEST_F(ForecastPanelTest, WithoutSoundsOrADeviceHoverStillShowsTheText) {
    struct Case {
        bool playSounds;
        bool device;
    };
    for (const Case c : {Case{false, true}, Case{true, false}}) {
        SCOPED_TRACE(testing::Message()
                     << "PLAY_SOUNDS " << c.playSounds << " device " << c.device);
        setSetting("PLAY_SOUNDS", c.playSounds);
        panel.soundAvailable = c.device;
        showPeriods({makeItem("Tonight", "Rain.", ForecastItem_t::CONDITION_RAIN)});
        ForecastWidget* card = cardsOf(panel)[0];
        hover(card);
        EXPECT_EQ(textBox()->toPlainText(), "Rain.");
        EXPECT_TRUE(card->findChild<QLabel*>("periodName")->styleSheet().contains("color: black"));
        apptest::waitFor([] { return false; }, 900);
        EXPECT_TRUE(panel.played.empty());
        leave(card);
    }
}

// Stands in for the NWS provider on the model's own update road: one fixed period.
class OnePeriodProvider : public vpcore::IWeatherInfoProvider {
public:
    bool update(vpcore::IWeatherModel* const model) override {
        static_cast<ForecastModel*>(model)->assignForecastItems(
            {makeItem("Tonight", "Clear.", ForecastItem_t::CONDITION_NIGHT)});
        return true;
    }
};

bool updateOnRunner(ForecastModel& model) {
    bool updated = false;
    std::thread runner([&] { updated = model.performTask(); });
    runner.join();
    return updated;
}

TEST(ForecastPanelLifetimeTest, AModelThatOutlivesItsPanelAnnouncesToNothing) {
    auto model = std::make_shared<ForecastModel>();
    model->setProvider(std::make_unique<OnePeriodProvider>());
    auto panel = std::make_unique<ForecastPanel>(model, nullptr);
    ASSERT_TRUE(updateOnRunner(*model));
    ASSERT_TRUE(apptest::waitFor([&] { return cardsOf(*panel).size() == 1; }));

    panel.reset();
    EXPECT_TRUE(updateOnRunner(*model));
    apptest::drainEvents();

    ForecastPanel next(model, nullptr);
    ASSERT_TRUE(updateOnRunner(*model));
    EXPECT_TRUE(apptest::waitFor([&] { return cardsOf(next).size() == 1; }));
}

// Under AddressSanitizer this shows that no announcement reaches a destroyed panel.
TEST(ForecastPanelLifetimeTest, PanelsComeAndGoWhileTheRunnerAnnounces) {
#if defined(__SANITIZE_THREAD__)
    // Events posted by the runner are handled here while it goes on posting; they are handed
    // over under a lock inside Qt, which ThreadSanitizer cannot see.
    GTEST_SKIP() << "the posted-event hand-over inside Qt is invisible to ThreadSanitizer";
#endif
    auto model = std::make_shared<ForecastModel>();
    model->setProvider(std::make_unique<OnePeriodProvider>());
    std::atomic<bool> stop{false};
    std::atomic<int> updates{0};
    std::thread runner([&] {
        while (!stop) {
            model->performTask();
            ++updates;
            // The real runner rests between tasks too; without it the GUI thread would only
            // ever rebuild.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    for (int i = 0; i < 20; ++i) {
        ForecastPanel panel(model, nullptr);
        const int before = updates;
        apptest::waitFor([&] { return updates > before + 2; }, 2000);
        apptest::drainEvents();
    }
    stop = true;
    runner.join();
    settle();
    EXPECT_GT(updates, 20);
}

}  // namespace
