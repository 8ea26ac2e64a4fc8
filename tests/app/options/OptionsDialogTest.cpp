#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFont>
#include <QListWidget>
#include <QMessageBox>
#include <QRadioButton>
#include <QScrollArea>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWindow>
#include <functional>
#include <memory>

#include "AppTestSupport.h"
#include "FramelessWindowChecks.h"
#include "FullDisk.h"
#include "LogCapture.h"
#include "OptionsTestSupport.h"
#include "conditions/CurrentConditionsPanel.h"
#include "forecast/ForecastPanel.h"
#include "gauges/DoubleSidedGaugeRenderer.h"
#include "options/AboutPage.h"
#include "options/AlertPage.h"
#include "options/SoundsPage.h"
#include "options/UpdatePage.h"
#include "options/VesparoOptionsDialog.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/TaskScheduler.h"
#include "shell/Startup.h"
#include "shell/Vesparo.h"
#include "weather/AlertModel.h"
#include "weather/CurrentWeatherInfoModel.h"
#include "weather/LocationService.h"
#include "widgets/LocationWidget.h"
#include "widgets/VPLabel.h"
#include "widgets/VPLinkLabel.h"
#include "widgets/VPMessageBox.h"
#include "widgets/VPStatusBar.h"

namespace {

using optionstest::OptionsTest;
using testsupport::HttpTestServer;

// Stands in for the desktop's browser: records the addresses it is asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls.append(url); }

public:
    QList<QUrl> urls;
};

class OptionsDialogTest : public OptionsTest {
protected:
    // The location service lists Austin, TX and has made it current.
    static void chooseAustin() {
        vpcore::LocationService& service = vpcore::LocationService::Instance();
        service.setLocations({optionstest::austin()});
        std::string error;
        ASSERT_TRUE(service.setCurrentLocation("Austin, TX", error)) << error;
    }

    // A dialog whose location page is valid: one saved location, chosen.
    std::unique_ptr<VesparoOptionsDialog> openDialogWithALocation() {
        chooseAustin();
        auto dialog = std::make_unique<VesparoOptionsDialog>(nullptr);
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        apptest::drainEvents();
        return dialog;
    }

    static void clickItem(QWidget* dialog, int row) {
        auto* list = dialog->findChild<QListWidget*>("pageList");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
        apptest::drainEvents();
    }

    // A click on the box's indicator: a row-wide box takes clicks only on its indicator and text.
    static void clickBox(QAbstractButton* box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }

    static QString shownTitle(QWidget* dialog) {
        auto* stack = dialog->findChild<QStackedWidget*>("pageStack");
        return stack->currentWidget()->findChild<QLabel*>("titleLabel")->text();
    }
};

TEST_F(OptionsDialogTest, OpensOnTheLocationPageWithEveryPageTitled) {
    VesparoOptionsDialog dialog(nullptr);
    EXPECT_EQ(dialog.size(), QSize(600, 500));
    EXPECT_FALSE(dialog.findChild<QToolButton*>("btnConfigure")->isVisibleTo(&dialog));
    EXPECT_TRUE(dialog.findChild<QToolButton*>("btnClose2")->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.findChild<QToolButton*>("btnClose")->isVisibleTo(&dialog));

    auto* list = dialog.findChild<QListWidget*>("pageList");
    auto* stack = dialog.findChild<QStackedWidget*>("pageStack");
    const char* const names[] = {"Location", "Alerts", "Sounds", "Update", "About"};
    const char* const titles[] = {"Location Options", "Alert Options", "Sounds Options", "Update",
                                  "About Ombrix"};
    ASSERT_EQ(list->count(), 5);
    ASSERT_EQ(stack->count(), 5);
    for (int row = 0; row < 5; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(list->item(row)->text(), names[row]);
        EXPECT_EQ(list->item(row)->font().bold(), row == 0);
        auto* page = qobject_cast<OptionsPageBase*>(stack->widget(row));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->title(), titles[row]);
        EXPECT_EQ(page->findChild<QLabel*>("titleLabel")->text(), titles[row]);
    }
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(stack->currentIndex(), 0);
}

TEST_F(OptionsDialogTest, TheDialogKeepsItsSizeAndSaysWhatItIs) {
    const auto dialog = openDialogWithALocation();
    apptest::expectAFixedWellShapedWindow(*dialog, QSize(600, 500), "Ombrix - Options");
}

// Each page's error text is readable on the dialog where it stands.
TEST_F(OptionsDialogTest, ErrorTextsAreReadable) {
    const auto dialog = openDialogWithALocation();
    auto* stack = dialog->findChild<QStackedWidget*>("pageStack");
    for (int row = 0; row < stack->count(); ++row) {
        SCOPED_TRACE(row);
        clickItem(dialog.get(), row);
        ASSERT_EQ(stack->currentIndex(), row);
        auto* error = stack->currentWidget()->findChild<QLabel*>("errorLabel");
        error->setText("Please choose a location.");
        apptest::drainEvents();
        EXPECT_GE(apptest::worstContrastBehind(error), 4.5);
        error->setText(QString());
    }
}

TEST_F(OptionsDialogTest, LeavingAValidPageSavesItAndMovesTheBoldItem) {
    const auto dialog = openDialogWithALocation();
    auto* list = dialog->findChild<QListWidget*>("pageList");
    clickItem(dialog.get(), 1);
    EXPECT_EQ(shownTitle(dialog.get()), "Alert Options");
    EXPECT_EQ(QSettings().value("CURRENT_LOCATION").toString(), "Austin, TX");
    EXPECT_EQ(QSettings().value("ALL_LOCATIONS").toStringList().size(), 7);
    EXPECT_FALSE(list->item(0)->font().bold());
    EXPECT_TRUE(list->item(1)->font().bold());

    auto* sound = dialog->findChild<QCheckBox*>("soundCheckBox");
    clickBox(sound);  // on by default: now off
    ASSERT_FALSE(sound->isChecked());
    // Clicking the item of the page on screen neither validates nor saves.
    clickItem(dialog.get(), 1);
    EXPECT_TRUE(QSettings().value("SOUND_ALERT").toBool());
    clickItem(dialog.get(), 2);
    EXPECT_EQ(shownTitle(dialog.get()), "Sounds Options");
    EXPECT_FALSE(QSettings().value("SOUND_ALERT").toBool());
    EXPECT_FALSE(list->item(1)->font().bold());
    EXPECT_TRUE(list->item(2)->font().bold());
}

TEST_F(OptionsDialogTest, ClosingOrEscapeSavesThePageOnScreen) {
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "escape" : "close button");
        QSettings().remove("PLAY_SOUNDS");
        const auto dialog = openDialogWithALocation();
        clickItem(dialog.get(), 2);
        clickBox(dialog->findChild<QCheckBox*>("effectsCheckBox"));
        if (escape) {
            QTest::keyClick(dialog.get(), Qt::Key_Escape);
        } else {
            QTest::mouseClick(dialog->findChild<QToolButton*>("btnClose2"), Qt::LeftButton);
        }
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_FALSE(QSettings().value("PLAY_SOUNDS").toBool());
    }
}

// The alert and sound pages on a full disk (no file may grow: that stops root too): leaving
// the page tells, in one box naming the INI file, that the change lasts only for this run;
// the file keeps its content, and closing the dialog does not tell the same again.
TEST_F(OptionsDialogTest, AlertAndSoundSettingsThatCannotBeWrittenAreTold) {
    struct Case {
        int row;
        const char* box;
    };
    for (const Case c : {Case{1, "soundCheckBox"}, Case{2, "effectsCheckBox"}}) {
        SCOPED_TRACE(c.box);
        messageBoxes.boxes.clear();
        const auto dialog = openDialogWithALocation();
        clickItem(dialog.get(), c.row);
        const QString iniPath = QSettings().fileName();
        const std::string iniBefore = testsupport::readFile(iniPath.toStdString());
        auto* box = dialog->findChild<QCheckBox*>(c.box);
        const bool before = box->isChecked();
        {
            testsupport::FullDisk disk(8);
            clickBox(box);
            clickItem(dialog.get(), 3);
            EXPECT_EQ(dialog->findChild<QStackedWidget*>("pageStack")->currentIndex(), 3)
                << "the change is not refused";
            clickItem(dialog.get(), c.row);
            QTest::mouseClick(dialog->findChild<QToolButton*>("btnClose2"), Qt::LeftButton);
            EXPECT_FALSE(dialog->isVisible());
        }
        ASSERT_EQ(messageBoxes.boxes.size(), 1u);
        EXPECT_EQ(messageBoxes.boxes[0].text,
                  "The settings file " + iniPath +
                      " could not be written: the disk is full or the folder is read-only. The "
                      "change is in effect until Ombrix exits, but it will be lost at the next "
                      "start.");
        EXPECT_EQ(testsupport::readFile(iniPath.toStdString()), iniBefore);
        EXPECT_EQ(QSettings().value(c.row == 1 ? "SOUND_ALERT" : "PLAY_SOUNDS").toBool(), !before)
            << "in effect for this run";
    }
}

TEST_F(OptionsDialogTest, AlertAndSoundSettingsAreWrittenAndReadBack) {
    struct Case {
        bool sound;
        bool untilViewed;
        int interval;
        bool storedUntilViewed;  // never true with sounds off
    };
    const Case cases[] = {
        {true, true, 12, true}, {false, true, 5, false}, {true, false, 30, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sound << c.untilViewed << c.interval);
        {
            AlertPage alerts(nullptr);
            SoundsPage sounds(nullptr);
            auto* sound = alerts.findChild<QCheckBox*>("soundCheckBox");
            auto* untilViewed = alerts.findChild<QRadioButton*>("untilViewedButton");
            auto* once = alerts.findChild<QRadioButton*>("onceButton");
            auto* interval = alerts.findChild<QSpinBox*>("intervalBox");
            sound->setChecked(true);
            (c.untilViewed ? untilViewed : once)->setChecked(true);
            interval->setValue(c.interval);
            sound->setChecked(c.sound);
            sounds.findChild<QCheckBox*>("effectsCheckBox")->setChecked(!c.sound);
            alerts.save();
            sounds.save();
        }
        EXPECT_EQ(QSettings().value("SOUND_ALERT").toBool(), c.sound);
        EXPECT_EQ(QSettings().value("PLAY_ALERT_UNTIL_VIEWED").toBool(), c.storedUntilViewed);
        EXPECT_EQ(QSettings().value("PLAY_ALERT_INTERVAL_IN_MIN").toInt(), c.interval);
        EXPECT_EQ(QSettings().value("PLAY_SOUNDS").toBool(), !c.sound);

        AlertPage alerts(nullptr);
        EXPECT_EQ(alerts.findChild<QCheckBox*>("soundCheckBox")->isChecked(), c.sound);
        EXPECT_EQ(alerts.findChild<QRadioButton*>("untilViewedButton")->isChecked(),
                  c.storedUntilViewed);
        EXPECT_EQ(alerts.findChild<QRadioButton*>("onceButton")->isChecked(), !c.storedUntilViewed);
        EXPECT_EQ(alerts.findChild<QRadioButton*>("onceButton")->isEnabled(), c.sound);
        EXPECT_EQ(alerts.findChild<QSpinBox*>("intervalBox")->isEnabled(), c.storedUntilViewed);
        EXPECT_EQ(alerts.findChild<QSpinBox*>("intervalBox")->value(), c.interval);
        SoundsPage sounds(nullptr);
        EXPECT_EQ(sounds.findChild<QCheckBox*>("effectsCheckBox")->isChecked(), !c.sound);
    }
}

TEST_F(OptionsDialogTest, AlertControlsFollowTheirSwitches) {
    QSettings().setValue("SOUND_ALERT", false);
    AlertPage page(nullptr);
    auto* sound = page.findChild<QCheckBox*>("soundCheckBox");
    auto* untilViewed = page.findChild<QRadioButton*>("untilViewedButton");
    auto* once = page.findChild<QRadioButton*>("onceButton");
    auto* interval = page.findChild<QSpinBox*>("intervalBox");
    EXPECT_FALSE(once->isEnabled());
    EXPECT_FALSE(untilViewed->isEnabled());
    EXPECT_TRUE(once->isChecked());  // the default: play once
    EXPECT_FALSE(interval->isEnabled());
    EXPECT_EQ(interval->value(), 3);
    EXPECT_EQ(interval->text(), "3 minute(s)");

    sound->setChecked(true);
    EXPECT_TRUE(once->isEnabled());
    EXPECT_TRUE(untilViewed->isEnabled());
    untilViewed->setChecked(true);
    EXPECT_TRUE(interval->isEnabled());
    EXPECT_FALSE(once->isChecked());
    once->setChecked(true);
    EXPECT_FALSE(interval->isEnabled());
}

// The two choices of the alert sound stand one above the other, their indicators in line.
TEST_F(OptionsDialogTest, TheAlertSoundChoicesLineUp) {
    const auto dialog = openDialogWithALocation();
    clickItem(dialog.get(), 1);
    auto* untilViewed = dialog->findChild<QRadioButton*>("untilViewedButton");
    auto* once = dialog->findChild<QRadioButton*>("onceButton");
    ASSERT_TRUE(once->isVisible());
    EXPECT_EQ(once->mapTo(dialog.get(), QPoint(0, 0)).x(),
              untilViewed->mapTo(dialog.get(), QPoint(0, 0)).x());
    EXPECT_GT(untilViewed->mapTo(dialog.get(), QPoint(0, 0)).y(),
              once->mapTo(dialog.get(), QPoint(0, 0)).y());
}

// What a check box's or radio button's indicator shows, read from the drawn widget: whether
// the inside of its frame or ring is the page behind it (empty), whether it holds dark marks (a
// tick), and whether its centre is light (a dot or a light box).
struct IndicatorLook {
    bool empty = false;
    int darkInside = 0;
    bool lightCentre = false;
};

IndicatorLook indicatorLook(QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    const bool radio = qobject_cast<QRadioButton*>(button) != nullptr;
    const QRect indicator = button->style()->subElementRect(
        radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &option, button);
    // Drawn as part of its window, on the page's own background.
    QWidget* top = button->window();
    const QImage image =
        top->grab().toImage().copy(QRect(button->mapTo(top, QPoint(0, 0)), button->size()));
    // Between the indicator and its text: the page.
    const QRgb page = image.pixel(indicator.right() + 2, indicator.top());
    const auto near = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                   std::abs(qBlue(a) - qBlue(b)) <
               48;
    };
    IndicatorLook look;
    look.empty = true;
    const QRect inside = indicator.adjusted(4, 4, -4, -4);  // inside the frame or ring
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            look.empty = look.empty && near(pixel, page);
            look.darkInside += qGray(pixel) < 80 && !near(pixel, page) ? 1 : 0;
        }
    }
    look.lightCentre = qGray(image.pixel(indicator.center())) > 120 &&
                       !near(image.pixel(indicator.center()), page);
    return look;
}

// A ticked box is a light box with a dark tick, an unticked one an empty frame; only the
// selected radio button has a dot, the other an empty ring. Disabled ones keep the difference.
TEST_F(OptionsDialogTest, IndicatorsShowTheirStateAtAGlance) {
    QSettings().setValue("SOUND_ALERT", false);
    const auto dialog = openDialogWithALocation();
    clickItem(dialog.get(), 1);
    auto* sound = dialog->findChild<QCheckBox*>("soundCheckBox");
    auto* untilViewed = dialog->findChild<QRadioButton*>("untilViewedButton");
    auto* once = dialog->findChild<QRadioButton*>("onceButton");
    ASSERT_TRUE(sound->isVisible());
    for (const bool ticked : {true, false}) {
        SCOPED_TRACE(ticked ? "ticked, radios enabled" : "unticked, radios disabled");
        sound->setChecked(ticked);  // the radio buttons follow the check box
        once->setChecked(true);
        apptest::drainEvents();
        ASSERT_EQ(once->isEnabled(), ticked);

        const IndicatorLook box = indicatorLook(sound);
        EXPECT_EQ(box.empty, !ticked);
        EXPECT_EQ(box.lightCentre || box.darkInside > 0, ticked);
        if (ticked) {
            EXPECT_GT(box.darkInside, 6) << "a tick in the box";
        }
        const IndicatorLook selected = indicatorLook(once);
        const IndicatorLook other = indicatorLook(untilViewed);
        EXPECT_TRUE(selected.lightCentre) << "the selected radio has a dot";
        EXPECT_FALSE(selected.empty);
        EXPECT_TRUE(other.empty) << "the other is an empty ring";
    }
    sound->setEnabled(false);
    EXPECT_TRUE(indicatorLook(sound).empty) << "disabled and unticked";
    sound->setChecked(true);
    EXPECT_FALSE(indicatorLook(sound).empty) << "disabled and ticked";
}

TEST_F(OptionsDialogTest, TheIntervalIsBoundedToOneToThirtyMinutes) {
    struct Case {
        QVariant stored;
        int shown;
    };
    const Case cases[] = {{0, 1}, {-4, 1}, {31, 30}, {1000, 30}, {"many", 1}, {17, 17}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored.toString().toStdString());
        QSettings().setValue("PLAY_ALERT_INTERVAL_IN_MIN", c.stored);
        AlertPage page(nullptr);
        auto* interval = page.findChild<QSpinBox*>("intervalBox");
        EXPECT_EQ(interval->value(), c.shown);
        page.save();
        EXPECT_EQ(QSettings().value("PLAY_ALERT_INTERVAL_IN_MIN").toInt(), c.shown);
    }
    AlertPage page(nullptr);
    auto* interval = page.findChild<QSpinBox*>("intervalBox");
    interval->setEnabled(true);
    interval->selectAll();
    QTest::keyClicks(interval, "45");
    EXPECT_LE(interval->value(), 30);
}

TEST_F(OptionsDialogTest, TheAboutPageShowsTheStoredVersion) {
    for (const char* version : {"2.0", ""}) {
        SCOPED_TRACE(version);
        if (*version != '\0') {
            QSettings().setValue("Ombrix", version);
        } else {
            QSettings().remove("Ombrix");
        }
        AboutPage page(nullptr);
        EXPECT_EQ(page.findChild<QLabel*>("versionLabel")->text(), QString("Version ") + version);
    }
}

TEST_F(OptionsDialogTest, TheUpdatePageAsksTheHomeSiteWithoutBlocking) {
    struct Case {
        const char* name;
        std::unique_ptr<HttpTestServer::Response> answer;  // null: no server at all
        const char* logged;                                // "" when no ERROR line is expected
        const char* shown;                                 // the message once the answer is in
    };
    const char* const latest = "Latest version is installed. No updates available.";
    const char* const failed = "Unable to check for update.";
    const auto answer = [](HttpTestServer::Response response) {
        return std::make_unique<HttpTestServer::Response>(std::move(response));
    };
    Case cases[] = {
        {"2.0", answer(HttpTestServer::ok("2.0")), "", latest},
        {"2.1", answer(HttpTestServer::ok("2.1\n")), "", "A new Ombrix version is available!"},
        {"empty", answer(HttpTestServer::ok("")), "ERROR: Unable to check for update.", failed},
        {"no server", nullptr, "ERROR: ", failed},
        {"not found", answer(HttpTestServer::status(404, "<html>Not Found</html>")),
         "ERROR: ", failed},
        {"not a number", answer(HttpTestServer::ok("<html><body>Moved</body></html>")), "", failed},
        {"not finite", answer(HttpTestServer::ok("inf")), "", failed},
    };
    QSettings().setValue("Ombrix", "2.0");
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer home;
        if (c.answer) {
            home.addRoute("/Ombrix.version", *c.answer);
            qputenv("OMBRIX_HOME_HOST", home.host().c_str());
        } else {
            const std::string deadHost = home.host();
            home.stop();
            qputenv("OMBRIX_HOME_HOST", deadHost.c_str());
        }
        testsupport::LogCapture log;
        UpdatePage page(nullptr);
        auto* message = page.findChild<QLabel*>("updateMessage");
        // Nothing is claimed while the answer is out.
        EXPECT_EQ(message->text(), "Checking for updates ...");
        ASSERT_TRUE(apptest::waitFor([&] { return !page.isCheckingForUpdate(); }));
        EXPECT_EQ(message->text(), c.shown);
        auto* link = page.findChild<VPLinkLabel*>("downloadLink");
        const bool offered = c.shown != latest && c.shown != failed;
        ASSERT_EQ(link != nullptr, offered);
        if (offered) {
            EXPECT_EQ(page.findChild<QLabel*>("downloadLabel")->text(),
                      "Click the link to download version 2.1");
            EXPECT_EQ(link->text(), "Ombrix 2.1");
            const QString address = "http://" + QString::fromStdString(home.host()) + "/";
            EXPECT_EQ(link->url(), address);
            // A click opens the address; a link without one opens nothing.
            UrlRecorder browser;
            QDesktopServices::setUrlHandler("http", &browser, "open");
            QTest::mouseClick(link, Qt::LeftButton);
            link->setUrl(QString());
            QTest::mouseClick(link, Qt::LeftButton);
            QDesktopServices::unsetUrlHandler("http");
            EXPECT_EQ(browser.urls, QList<QUrl>({QUrl(address)}));
        }
        EXPECT_EQ(log.contains("ERROR:"), *c.logged != '\0');
        if (*c.logged != '\0') {
            EXPECT_TRUE(log.contains(c.logged));
        }
    }
}

TEST_F(OptionsDialogTest, TheDialogOpensAtOnceOnADeadHomeSite) {
    HttpTestServer home;
    home.addRoute("/Ombrix.version", HttpTestServer::delayed(HttpTestServer::ok("2.1"), 9000));
    qputenv("OMBRIX_HOME_HOST", home.host().c_str());
    QElapsedTimer timer;
    timer.start();
    VesparoOptionsDialog dialog(nullptr);
    EXPECT_LT(timer.elapsed(), 6000);  // the check alone would take 9 s
    auto* update = dialog.findChild<UpdatePage*>();
    EXPECT_TRUE(update->isCheckingForUpdate());
    // Still checking seconds later, and saying so.
    QTest::qWait(1500);
    EXPECT_TRUE(update->isCheckingForUpdate());
    EXPECT_EQ(update->findChild<QLabel*>("updateMessage")->text(), "Checking for updates ...");
}

// Clicks the widget and, once the modal options dialog it opens shows the saved locations,
// closes it with its close button. True when the dialog opened and closed.
bool openAndCloseOptionsDialog(QWidget* widget, Qt::MouseButton button) {
    bool opened = false;
    bool closed = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&opened, &closed, &poll] {
        auto* dialog = qobject_cast<VesparoOptionsDialog*>(QApplication::activeModalWidget());
        // The saved locations appear once the dialog has painted its location page.
        if (dialog != nullptr && dialog->findChild<QComboBox*>("chooser")->count() > 0) {
            opened = true;
            poll.stop();
            QTest::mouseClick(dialog->findChild<QToolButton*>("btnClose2"), Qt::LeftButton);
            closed = !dialog->isVisible();
            dialog->hide();  // never leave the test waiting on a refused close
        }
    });
    poll.start();
    QTest::mouseClick(widget, button);
    return opened && closed;
}

// Clicks the opener; once the modal options dialog it opens is on screen, runs act on it (which
// must close it) and hides it should it still be open. True when the dialog opened.
bool withOptionsDialog(QWidget* opener, const std::function<void(VesparoOptionsDialog*)>& act) {
    bool opened = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<VesparoOptionsDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || dialog->windowHandle() == nullptr ||
            !dialog->windowHandle()->isExposed()) {
            return;
        }
        poll.stop();
        opened = true;
        apptest::drainEvents();  // the location page loads the locations on its first paint
        act(dialog);
        dialog->hide();  // never leave the test waiting on a dialog that stayed open
    });
    poll.start();
    QTest::mouseClick(opener, Qt::LeftButton);
    return opened;
}

LocationWidget* bannerOf(QWidget* window) {
    return window->findChild<LocationWidget*>("locationBanner");
}

QString bannerText(QWidget* window) {
    return bannerOf(window)->labelWidget()->textLabel()->text();
}

const char* const kInvitation = "< CLICK HERE TO SET YOUR WEATHER LOCATION >";

// A first run: the banner opens the dialog, whose first close says that a location is needed
// and how to leave without one; the second close leaves. The banner still invites, and the
// main window closes as usual.
TEST_F(OptionsDialogTest, TheFirstRunDialogCanBeLeftAndTheProgramClosed) {
    if (vpcore::LocationService::Instance().getCurrentLocation() != nullptr) {
        GTEST_SKIP() << "another test of this process chose a location first";
    }
    const apptest::MainWindowIdsLease ids;
    Vesparo window(nullptr);
    useFixtureFiles();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(apptest::waitFor([&] { return bannerText(&window) == kInvitation; }));

    bool refusedFirst = false;
    bool leftSecond = false;
    EXPECT_TRUE(withOptionsDialog(bannerOf(&window), [&](auto* dialog) {
        auto* close = dialog->template findChild<QToolButton*>("btnClose2");
        QTest::mouseClick(close, Qt::LeftButton);
        apptest::drainEvents();
        auto* page = dialog->template findChild<LocationPage*>();
        refusedFirst = dialog->isVisible() &&
                       page->template findChild<QLabel*>("errorLabel")->text() ==
                           "You must selection a location." &&
                       dialog->statusBar()->currentMessage() == "Close again to leave anyway.";
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(page->template findChild<QLabel*>("errorLabel")->text(),
                  "You must selection a location.");
        QDir().mkpath(OMBRIX_ARTEFACT_DIR);
        dialog->grab().save(OMBRIX_ARTEFACT_DIR "/first-run-close-refused.png");
        QTest::mouseClick(close, Qt::LeftButton);
        leftSecond = !dialog->isVisible();
    }));
    EXPECT_TRUE(refusedFirst);
    EXPECT_TRUE(leftSecond);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    apptest::drainEvents();
    EXPECT_EQ(bannerText(&window), kInvitation);
    EXPECT_EQ(vpcore::LocationService::Instance().getCurrentLocation(), nullptr);
    EXPECT_FALSE(QSettings().contains("CURRENT_LOCATION"));

    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    vpcore::NotificationService::Instance().unRegisterPropertyIds(
        {vpcore::PROP_DEWPOINT_COMFORT_LEVEL});
}

// Austin runs in the main window; deleting it, the only location, leaves the window without a
// location: the banner invites again, the readings, the forecast and the alerts are gone, the
// place is no longer fetched, and the settings hold an empty list.
TEST_F(OptionsDialogTest, DeletingTheOnlyLocationLeavesTheWindowWithoutOne) {
    server.addRoute("/cap/wwaatmget.php", HttpTestServer::fixture("nws/alerts/TXC453.xml"));
    QSettings().setValue("ALL_LOCATIONS",
                         QStringList{"78701", "TXC453", "KATT", "Austin City, Austin Camp Mabry",
                                     "EWX", "Austin/San Antonio", "Austin, TX"});
    QSettings().setValue("CURRENT_LOCATION", "Austin, TX");
    {
        const apptest::MainWindowIdsLease ids;
        Vesparo window(nullptr);
        useFixtureFiles();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        auto* panel = window.findChild<CurrentConditionsPanel*>();
        const auto text = [panel](const char* name) {
            return panel->findChild<QWidget*>(name)->findChild<VPLabel*>()->text();
        };
        const auto forecastCards = [&window] {
            return window.findChild<ForecastPanel*>()->findChildren<QLabel*>("temperature").size();
        };
        const auto alerts = [] {
            vpcore::AlertModel::AlertList list;
            vpcore::LocationService::Instance().getAlertModel()->getAlertItems(list);
            return list.size();
        };
        // The gauges' tool tips say what their faces read.
        const auto gaugeTips = [&window] {
            QStringList tips;
            for (auto* gauge : window.findChildren<DoubleSidedGaugeRenderer*>()) {
                tips << gauge->toolTip();
            }
            return tips.join(" | ");
        };
        ASSERT_TRUE(apptest::waitFor([&] {
            return text("weatherValue") == "Mostly Cloudy" && forecastCards() > 0 && alerts() > 0 &&
                   bannerText(&window) == "Austin, TX" &&
                   gaugeTips().contains("Air temperature\n64.0");
        })) << gaugeTips().toStdString();

        EXPECT_TRUE(withOptionsDialog(bannerOf(&window), [](auto* dialog) {
            QTest::mouseClick(dialog->template findChild<QPushButton*>("deleteButton"),
                              Qt::LeftButton);
            auto* close = dialog->template findChild<QToolButton*>("btnClose2");
            QTest::mouseClick(close, Qt::LeftButton);
            QTest::mouseClick(close, Qt::LeftButton);
        }));
        EXPECT_TRUE(apptest::waitFor([&] {
            return bannerText(&window) == kInvitation && text("weatherValue").isEmpty() &&
                   forecastCards() == 0;
        })) << bannerText(&window).toStdString()
            << " / " << text("weatherValue").toStdString();
        EXPECT_EQ(alerts(), 0u);
        // The gauges are back where a first run starts them.
        EXPECT_TRUE(apptest::waitFor([&] {
            return gaugeTips().contains("Air temperature\n0.0") &&
                   gaugeTips().contains("Barometric pressure\n0.0");
        })) << gaugeTips().toStdString();
        EXPECT_EQ(vpcore::LocationService::Instance().getCurrentLocation(), nullptr);
        EXPECT_EQ(vpcore::LocationService::Instance().getCurrentConditionsModel()->getProviderPtr(),
                  nullptr);
        EXPECT_EQ(storedLine("ALL_LOCATIONS"), "ALL_LOCATIONS=");
        EXPECT_EQ(QSettings().value("CURRENT_LOCATION").toString(), "");
        QDir().mkpath(OMBRIX_ARTEFACT_DIR);
        window.grab().save(OMBRIX_ARTEFACT_DIR "/main-window-location-deleted.png");
    }
    vpcore::NotificationService::Instance().unRegisterPropertyIds(
        {vpcore::PROP_DEWPOINT_COMFORT_LEVEL});
}

// The visible message boxes with that text.
int visibleBoxesSaying(const QString& text) {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box != nullptr && box->isVisible() && box->text() == text) {
            ++count;
        }
    }
    return count;
}

// The saved location's service does not answer at start: a notice says so, and the status bar
// says that Ombrix keeps trying, under the passing messages, until the weather is in; then the
// notice closes itself and the status bar stops saying it. Deleting the location ends the wait
// the same way.
TEST_F(OptionsDialogTest, AnOfflineStartSaysItKeepsTryingUntilTheWeatherArrives) {
    VPMessageBox::setShower(nullptr);  // real boxes: the notice must be seen to close
    vpcore::TaskScheduler::instance().setRetryTime(1);
    struct RetryTime {
        ~RetryTime() { vpcore::TaskScheduler::instance().setRetryTime(15); }
    } restoreRetryTime;
    const QString notice = vpcore::LocationService::SELECTION_ERROR;
    const QString waiting =
        "The weather service did not answer for Austin, TX. Ombrix keeps trying.";
    // Deleted first: a location whose weather came once is not checked again at its restore.
    for (const bool serviceComesUp : {false, true}) {
        SCOPED_TRACE(serviceComesUp ? "the service comes up" : "the location is deleted");
        for (const char* station : {"KATT", "KAUS", "KBKF"}) {
            server.addRoute(std::string("/xml/current_obs/") + station + ".xml",
                            HttpTestServer::status(503, "down"));
        }
        QSettings().setValue("ALL_LOCATIONS", QStringList{"78701", "TXC453", "KATT",
                                                          "Austin City, Austin Camp Mabry", "EWX",
                                                          "Austin/San Antonio", "Austin, TX"});
        QSettings().setValue("CURRENT_LOCATION", "Austin, TX");
        const int requestsBefore = server.requestCount("/xml/current_obs/KATT.xml");
        {
            const apptest::MainWindowIdsLease ids;
            Vesparo window(nullptr);
            useFixtureFiles();
            window.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
            ASSERT_TRUE(apptest::waitFor([&] { return visibleBoxesSaying(notice) == 1; }));
            EXPECT_EQ(window.statusBar()->standingMessage(), waiting);
            // The retries fail and say so in passing; the standing message stays.
            ASSERT_TRUE(apptest::waitFor([&] {
                return server.requestCount("/xml/current_obs/KATT.xml") >= requestsBefore + 3;
            }));
            EXPECT_EQ(window.statusBar()->standingMessage(), waiting);
            QDir().mkpath(OMBRIX_ARTEFACT_DIR);
            window.grab().save(OMBRIX_ARTEFACT_DIR "/main-window-offline-start.png");

            if (serviceComesUp) {
                for (const char* station : {"KATT", "KAUS", "KBKF"}) {
                    const std::string path = std::string("/xml/current_obs/") + station + ".xml";
                    server.addRoute(path, HttpTestServer::fixture("nws" + path));
                }
                auto* panel = window.findChild<CurrentConditionsPanel*>();
                ASSERT_TRUE(apptest::waitFor([&] {
                    return panel->findChild<QWidget*>("weatherValue")
                               ->findChild<VPLabel*>()
                               ->text() == "Mostly Cloudy";
                }));
            } else {
                ASSERT_TRUE(vpcore::LocationService::Instance().deleteLocation("Austin, TX"));
            }
            EXPECT_TRUE(apptest::waitFor([&] {
                return visibleBoxesSaying(notice) == 0 &&
                       window.statusBar()->standingMessage().isEmpty();
            }));
        }
        apptest::drainEvents();
        vpcore::NotificationService::Instance().unRegisterPropertyIds(
            {vpcore::PROP_DEWPOINT_COMFORT_LEVEL});
    }
}

// Pixels of the focus colour (rgb(255, 190, 40), as drawn, lighter or darker) in the part of the
// window around the widget.
int focusPixelsAround(QWidget* window, QWidget* widget) {
    const QRect area =
        QRect(widget->mapTo(window, QPoint(0, 0)), widget->size()).adjusted(-3, -3, 3, 3);
    const QImage image = window->grab(area).toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() >= 150 && c.green() >= c.red() * 0.55 && c.green() <= c.red() * 0.85 &&
                c.blue() <= c.red() * 0.4) {
                ++count;
            }
        }
    }
    return count;
}

// Tabbed to, each kind of control of the main window and the options dialog shows a frame in
// the focus colour, which it does not show without focus.
TEST_F(OptionsDialogTest, KeyboardFocusIsSeenInTheMainWindowAndTheDialog) {
    qApp->setStyleSheet(applicationStyleSheet());
    struct PlainStyle {
        ~PlainStyle() { qApp->setStyleSheet(QString()); }
    } plainStyleAfterwards;
    const auto expectFocusSeen = [](QWidget* window, QWidget* widget, QWidget* elsewhere) {
        SCOPED_TRACE(std::string(widget->metaObject()->className()) + " " +
                     widget->objectName().toStdString());
        elsewhere->setFocus(Qt::TabFocusReason);
        apptest::drainEvents();
        EXPECT_EQ(focusPixelsAround(window, widget), 0);
        // Tab, as a user moves the focus, until the widget has it.
        for (int step = 0; step < 20 && !widget->hasFocus(); ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            apptest::drainEvents();
        }
        ASSERT_TRUE(widget->hasFocus());
        // A frame: at least a side's length of it.
        EXPECT_GE(focusPixelsAround(window, widget), std::min(widget->width(), widget->height()));
    };
    {
        const apptest::MainWindowIdsLease ids;
        Vesparo window(nullptr);
        useFixtureFiles();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QApplication::setActiveWindow(&window);
        auto* settings = window.findChild<QToolButton*>("btnConfigure");
        auto* minimise = window.findChild<QToolButton*>("btnClose");
        auto* forecast = window.findChild<ForecastPanel*>()->findChild<QScrollArea*>();
        ASSERT_NE(forecast, nullptr);
        expectFocusSeen(&window, settings, minimise);
        expectFocusSeen(&window, minimise, settings);
        expectFocusSeen(&window, forecast, settings);
    }
    vpcore::NotificationService::Instance().unRegisterPropertyIds(
        {vpcore::PROP_DEWPOINT_COMFORT_LEVEL});

    const auto dialog = openDialogWithALocation();
    QApplication::setActiveWindow(dialog.get());
    auto* close = dialog->findChild<QToolButton*>("btnClose2");
    auto* add = dialog->findChild<QPushButton*>("addButton");
    QTest::mouseClick(add, Qt::LeftButton);  // the zip code field takes input from now on
    for (QWidget* widget : {static_cast<QWidget*>(dialog->findChild<QListWidget*>("pageList")),
                            static_cast<QWidget*>(dialog->findChild<QComboBox*>("chooser")),
                            static_cast<QWidget*>(add),
                            static_cast<QWidget*>(dialog->findChild<QLineEdit*>("zipEdit")),
                            static_cast<QWidget*>(close)}) {
        expectFocusSeen(dialog.get(), widget, widget == close ? static_cast<QWidget*>(add) : close);
    }
    clickItem(dialog.get(), 1);
    expectFocusSeen(dialog.get(), dialog->findChild<QCheckBox*>("soundCheckBox"), close);
}

TEST_F(OptionsDialogTest, TheBannerAndTheSettingsButtonOpenTheDialog) {
    {
        const apptest::MainWindowIdsLease ids;
        Vesparo window(nullptr);
        // The main window points the services at the installed files; these tests use theirs.
        useFixtureFiles();
        window.show();
        chooseAustin();
        EXPECT_TRUE(openAndCloseOptionsDialog(bannerOf(&window), Qt::RightButton));
        EXPECT_EQ(QSettings().value("CURRENT_LOCATION").toString(), "Austin, TX");
        QSettings().remove("CURRENT_LOCATION");
        EXPECT_TRUE(openAndCloseOptionsDialog(window.findChild<QToolButton*>("btnConfigure"),
                                              Qt::LeftButton));
        EXPECT_EQ(QSettings().value("CURRENT_LOCATION").toString(), "Austin, TX");
    }
    // The comfort level of the main window admits its property once per process.
    vpcore::NotificationService::Instance().unRegisterPropertyIds(
        {vpcore::PROP_DEWPOINT_COMFORT_LEVEL});
}

// The main window with a saved current location, here because it makes that location current
// in the location service, which the other app tests must not inherit.
TEST_F(OptionsDialogTest, AFailedHourlyUpdateStaysInTheMainWindowsStatusBar) {
    QSettings().setValue("ALL_LOCATIONS",
                         QStringList{"78701", "TXC453", "KATT", "Austin City, Austin Camp Mabry",
                                     "EWX", "Austin/San Antonio", "Austin, TX"});
    QSettings().setValue("CURRENT_LOCATION", "Austin, TX");
    testsupport::LogCapture log;
    {
        Vesparo window(nullptr);
        useFixtureFiles();
        window.show();
        auto* panel = window.findChild<CurrentConditionsPanel*>();
        ASSERT_NE(panel, nullptr);
        const auto weather = [panel] {
            return panel->findChild<QWidget*>("weatherValue")->findChild<VPLabel*>()->text();
        };
        ASSERT_TRUE(apptest::waitFor([&] { return weather() == "Mostly Cloudy"; }));

        // The start-up test passed; from now on every observation fetch is answered 500.
        for (const char* station : {"KATT", "KAUS", "KBKF"}) {
            server.addRoute(std::string("/xml/current_obs/") + station + ".xml",
                            HttpTestServer::status(500, "down"));
        }
        vpcore::TaskScheduler::instance().forceRun();
        ASSERT_TRUE(apptest::waitFor(
            [&] { return log.contains("task <Current Conditions Update> completed and failed"); }));
        // The task's end of progress has been posted by now.
        apptest::drainEvents();
        EXPECT_EQ(window.statusBar()->currentMessage(), "Could not update current weather. ");
        EXPECT_EQ(weather(), "Mostly Cloudy");
    }
    vpcore::NotificationService::Instance().unRegisterPropertyIds(
        {vpcore::PROP_DEWPOINT_COMFORT_LEVEL});
}

}  // namespace

#include "OptionsDialogTest.moc"
