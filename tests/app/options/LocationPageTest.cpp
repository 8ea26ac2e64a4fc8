#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QListWidget>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "AppTestSupport.h"
#include "FullDisk.h"
#include "LogCapture.h"
#include "OptionsTestSupport.h"
#include "TempDir.h"
#include "base/Settings.h"
#include "options/VesparoOptionsDialog.h"
#include "shell/Startup.h"
#include "weather/LocationService.h"
#include "weather/NWSCodeService.h"
#include "widgets/QPairListModel.h"
#include "widgets/VPStatusBar.h"

namespace {

using optionstest::LocationControls;
using optionstest::OptionsTest;
using vpcore::LocationService;
using vpcore::NWSCodeService;

class LocationPageTest : public OptionsTest {
protected:
    void SetUp() override {
        OptionsTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        openDialog();
    }

    // A dialog of its own, on the location page, shown as a user meets it.
    void openDialog() {
        controls.reset();
        dialog = std::make_unique<VesparoOptionsDialog>(nullptr);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        controls = std::make_unique<LocationControls>(dialog.get());
        // The saved locations are loaded on the page's first paint.
        apptest::drainEvents();
    }

    void TearDown() override {
        controls.reset();
        dialog.reset();
        OptionsTest::TearDown();
    }

    void closeDialog() {
        QTest::mouseClick(dialog->findChild<QToolButton*>("btnClose2"), Qt::LeftButton);
    }

    // Find and save the zip code's location, as a user does it.
    void addLocation(const QString& zipCode) {
        controls->search(zipCode);
        ASSERT_TRUE(controls->save->isEnabled()) << controls->error->text().toStdString();
        QTest::mouseClick(controls->save, Qt::LeftButton);
    }

    std::unique_ptr<VesparoOptionsDialog> dialog;
    std::unique_ptr<LocationControls> controls;
};

// The location service keeps a current location for the whole process: in a run of the whole
// file in shuffled order another test may have chosen one first (ctest runs each test in a
// process of its own, where this one always runs).
TEST_F(LocationPageTest, ANewProfileGetsItsFirstLocationFromAZipCode) {
    if (LocationService::Instance().getCurrentLocation() != nullptr) {
        GTEST_SKIP() << "another test of this process chose a location first";
    }
    ASSERT_FALSE(controls->chooser->isVisible());
    ASSERT_FALSE(controls->zip->isEnabled());
    ASSERT_FALSE(controls->save->isEnabled());

    controls->search("78701");
    EXPECT_EQ(controls->county->currentText(), "Travis");
    EXPECT_EQ(controls->error->text(), "");
    ASSERT_TRUE(controls->save->isEnabled());

    testsupport::LogCapture log;
    QTest::mouseClick(controls->save, Qt::LeftButton);

    EXPECT_TRUE(controls->chooser->isVisible());
    EXPECT_EQ(controls->chooser->count(), 1);
    EXPECT_EQ(controls->chooser->currentText(), "Austin, TX");
    EXPECT_FALSE(controls->save->isEnabled());
    EXPECT_FALSE(controls->zip->isEnabled());
    EXPECT_TRUE(
        log.contains("INFO: Using station Austin City, Austin Camp Mabry for zip code "
                     "78701 which is "));

    const vpcore::Location_t* current = LocationService::Instance().getCurrentLocation();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->displayName, "Austin, TX");
    EXPECT_GE(server.requestCount("/xml/current_obs/KATT.xml"), 1);

    closeDialog();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(QSettings().value("CURRENT_LOCATION").toString(), "Austin, TX");
    EXPECT_EQ(storedLocations(),
              QStringList({"78701", "TXC453", "KATT", "Austin City, Austin Camp Mabry", "EWX",
                           "Austin/San Antonio", "Austin, TX"}));
}

TEST_F(LocationPageTest, AZipCodeTheTablesCannotServeShowsWhy) {
    struct Case {
        const char* zip;
        const char* error;
        const char* logged;  // "" when nothing is logged at ERROR
    };
    const Case cases[] = {
        {"99999", "Unrecognized zip code", ""},
        {"96960", "No weather data for this zip code",
         "ERROR: Unrecognized state Marshall Islands"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zip);
        testsupport::LogCapture log;
        controls->search(c.zip);
        EXPECT_EQ(controls->error->text(), c.error);
        EXPECT_FALSE(controls->save->isEnabled());
        EXPECT_EQ(controls->county->count(), 0);
        EXPECT_EQ(log.contains("ERROR:"), *c.logged != '\0');
        if (*c.logged != '\0') {
            EXPECT_TRUE(log.contains(c.logged));
        }
    }
    EXPECT_FALSE(QSettings().contains("ALL_LOCATIONS"));
}

TEST_F(LocationPageTest, TheZipEditTakesFiveDigitsAndAnEditUndoesTheSearch) {
    QTest::mouseClick(controls->find, Qt::LeftButton);  // disabled until Add Location
    QTest::mouseClick(controls->add, Qt::LeftButton);
    QTest::mouseClick(controls->find, Qt::LeftButton);  // empty: nothing happens
    EXPECT_EQ(controls->error->text(), "");

    QTest::keyClicks(controls->zip, "7a8-7,0 12");
    EXPECT_EQ(controls->zip->text(), "78701");
    QTest::keyClick(controls->zip, Qt::Key_Return);  // Find is the default button
    ASSERT_TRUE(controls->save->isEnabled());
    EXPECT_EQ(controls->county->count(), 3);

    QTest::keyClick(controls->zip, Qt::Key_Backspace);
    EXPECT_FALSE(controls->save->isEnabled());
    EXPECT_EQ(controls->county->count(), 0);
    QTest::mouseClick(controls->find, Qt::LeftButton);
    EXPECT_EQ(controls->error->text(), "Unrecognized zip code");
    QTest::keyClick(controls->zip, Qt::Key_1);
    EXPECT_EQ(controls->error->text(), "");
}

TEST_F(LocationPageTest, ACountyTheTablesSpellOtherwiseMustBeChosen) {
    controls->search("78620");
    EXPECT_EQ(controls->county->currentIndex(), -1);
    ASSERT_TRUE(controls->save->isEnabled());
    QTest::mouseClick(controls->save, Qt::LeftButton);
    EXPECT_EQ(controls->error->text(), "Choose your county");
    EXPECT_EQ(controls->chooser->count(), 0);
    EXPECT_EQ(server.requestCount("/forecasts/xml/sample_products/browser_interface/"
                                  "ndfdXMLclient.php?listZipCodeList=78620"),
              0);
}

// Without a location the other pages stay closed; the first close says why, and a second one
// (by the same way or another) leaves the dialog without a location, writing nothing.
TEST_F(LocationPageTest, LeavingWithoutALocationIsRefusedOnceThenAllowed) {
    auto* list = dialog->findChild<QListWidget*>("pageList");
    const QRect alerts = list->visualItemRect(list->item(1));
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        controls->error->clear();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, alerts.center());
        EXPECT_EQ(list->currentRow(), 0);
        EXPECT_TRUE(controls->page->isVisible());
        EXPECT_EQ(controls->error->text(), "You must selection a location.");
    }

    enum Way { kCloseButton, kEscape, kWindowManager };
    const auto closeBy = [this](Way way) {
        switch (way) {
            case kCloseButton:
                return closeDialog();
            case kEscape:
                return QTest::keyClick(dialog.get(), Qt::Key_Escape);
            case kWindowManager:
                dialog->close();  // what a window manager's close button leads to
                return;
        }
    };
    const std::pair<Way, Way> cases[] = {{kCloseButton, kCloseButton},
                                         {kEscape, kEscape},
                                         {kWindowManager, kWindowManager},
                                         {kCloseButton, kEscape}};
    bool first = true;
    for (const auto& [once, again] : cases) {
        SCOPED_TRACE(testing::Message() << once << " then " << again);
        if (!first) {
            ASSERT_NO_FATAL_FAILURE(openDialog());
        }
        first = false;
        closeBy(once);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(controls->error->text(), "You must selection a location.");
        EXPECT_EQ(dialog->statusBar()->currentMessage(), "Close again to leave anyway.");
        EXPECT_TRUE(dialog->statusBar()->isVisible());
        closeBy(again);
        EXPECT_FALSE(dialog->isVisible());
    }
    EXPECT_FALSE(QSettings().contains("CURRENT_LOCATION"));
    EXPECT_FALSE(QSettings().contains("ALL_LOCATIONS"));
}

TEST_F(LocationPageTest, AFailedPositionLookupLeavesTheListAsItWas) {
    server.addRoute(
        "/forecasts/xml/sample_products/browser_interface/ndfdXMLclient.php?listZipCodeList=78701",
        testsupport::HttpTestServer::delayed(testsupport::HttpTestServer::status(503), 800));
    testsupport::LogCapture log;
    controls->search("78701");
    // What the user sees while the lookup waits on the network.
    QString statusWhileWaiting;
    bool busyCursor = false;
    bool dialogEnabled = true;
    QTimer::singleShot(100, [&] {
        statusWhileWaiting = controls->status->text();
        busyCursor = QApplication::overrideCursor() != nullptr &&
                     QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        dialogEnabled = dialog->isEnabled();
    });
    QTest::mouseClick(controls->save, Qt::LeftButton);
    EXPECT_EQ(statusWhileWaiting, "Looking up zip code 78701 ...");
    EXPECT_TRUE(busyCursor);
    EXPECT_FALSE(dialogEnabled);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(log.contains("ERROR: Unable to retrieve coords for zipcode 78701"));
    EXPECT_TRUE(controls->status->text().startsWith("Could not find where zip code 78701 is."));
    EXPECT_EQ(controls->chooser->count(), 0);
    EXPECT_TRUE(dialog->isEnabled());
    std::vector<vpcore::Location_t> locations;
    LocationService::Instance().getLocations(locations);
    EXPECT_TRUE(locations.empty());
    EXPECT_FALSE(QSettings().contains("ALL_LOCATIONS"));
}

// The status line under the search shows its longest texts whole, and a text appearing or
// going moves nothing on the page.
TEST_F(LocationPageTest, TheStatusLineShowsItsTextWholeAndMovesNothing) {
    // In the program's own style, which gives labels their font.
    qApp->setStyleSheet(applicationStyleSheet());
    struct PlainStyle {
        ~PlainStyle() { qApp->setStyleSheet(QString()); }
    } plainStyleAfterwards;
    ASSERT_NO_FATAL_FAILURE(openDialog());

    const auto positions = [this] {
        std::vector<QPoint> at;
        for (QWidget* widget :
             {static_cast<QWidget*>(controls->page->findChild<QLabel*>("titleLabel")),
              static_cast<QWidget*>(controls->add), static_cast<QWidget*>(controls->zip),
              static_cast<QWidget*>(controls->county), static_cast<QWidget*>(controls->save),
              static_cast<QWidget*>(controls->status)}) {
            at.push_back(widget->mapTo(dialog.get(), QPoint(0, 0)));
        }
        return at;
    };
    const std::vector<QPoint> empty = positions();
    const QString texts[] = {
        "Could not find where zip code 78701 is. Please try again later.",
        "Connecting to the weather station of Rancho Santa Margarita, CA ...",
        "Looking up zip code 78701 ...",
    };
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        controls->status->setText(text);
        apptest::drainEvents();
        EXPECT_EQ(positions(), empty);
        QLabel* label = controls->status;
        EXPECT_GE(label->height(), label->heightForWidth(label->width()))
            << "the text needs " << label->heightForWidth(label->width()) << " px, it has "
            << label->height();
        EXPECT_LE(label->mapTo(dialog.get(), QPoint(0, label->height())).y(),
                  dialog->contentWidget()->geometry().bottom());
    }
    QDir().mkpath(OMBRIX_ARTEFACT_DIR);
    controls->status->setText(texts[0]);
    apptest::drainEvents();
    dialog->grab().save(OMBRIX_ARTEFACT_DIR "/location-page-status.png");
    controls->status->clear();
    apptest::drainEvents();
    EXPECT_EQ(positions(), empty);
}

// The disk fills up before Denver is saved (no file may grow past a few bytes: that stops
// root too, which a read-only folder does not). Denver runs for this session, one box names
// both files that could not be written and says the change is lost at the next start, the
// INI file keeps its old content, and closing the dialog does not tell it again.
TEST_F(LocationPageTest, ALocationThatCannotBeWrittenIsToldAndRunsForThisSessionOnly) {
    addLocation("78701");
    const QString iniPath = QSettings().fileName();
    const std::string iniBefore = testsupport::readFile(iniPath.toStdString());
    ASSERT_NE(iniBefore.find("Austin, TX"), std::string::npos);
    const std::string cachePath = dataDir.filePath("CoordsCache.db");
    const std::string cacheBefore = testsupport::readFile(cachePath);
    controls->search("80202");
    ASSERT_TRUE(controls->save->isEnabled());
    {
        testsupport::FullDisk disk(8);
        QTest::mouseClick(controls->save, Qt::LeftButton);
        EXPECT_EQ(LocationService::Instance().getCurrentLocation()->displayName, "Denver, CO");
        EXPECT_EQ(controls->chooser->currentText(), "Denver, CO");
        closeDialog();
        EXPECT_FALSE(dialog->isVisible());
    }
    ASSERT_EQ(messageBoxes.boxes.size(), 1u);
    const apptest::MessageBoxRecorder::Box& box = messageBoxes.boxes[0];
    EXPECT_EQ(box.icon, QMessageBox::Information);
    EXPECT_TRUE(box.text.contains("The settings file " + iniPath +
                                  " could not be written: the disk is full or the folder is "
                                  "read-only."))
        << box.text.toStdString();
    EXPECT_TRUE(box.text.contains("lost at the next start")) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains("Could not add to the zip code coordinates cache " +
                                  QString::fromStdString(cachePath) + ": File too large"))
        << box.text.toStdString();
    EXPECT_EQ(testsupport::readFile(iniPath.toStdString()), iniBefore);
    EXPECT_EQ(testsupport::readFile(cachePath), cacheBefore);

    // With room on the disk again, the next write of the settings takes Denver along.
    QSettings settings;
    QString error;
    EXPECT_TRUE(syncSettings(settings, error)) << error.toStdString();
    EXPECT_NE(testsupport::readFile(iniPath.toStdString()).find("Denver, CO"), std::string::npos);
}

TEST_F(LocationPageTest, ChoosingAndDeletingSavedLocations) {
    addLocation("80202");
    addLocation("78701");
    ASSERT_EQ(controls->chooser->count(), 2);
    EXPECT_EQ(controls->chooser->currentText(), "Austin, TX");
    EXPECT_EQ(storedLocations().size(), 14);
    EXPECT_EQ(storedLocations()[6], "Austin, TX");  // the service's order: by name
    EXPECT_EQ(storedLocations()[13], "Denver, CO");

    // Choosing shows the stored location without offering to save it again.
    controls->chooser->setCurrentIndex(controls->chooser->findText("Denver, CO"));
    EXPECT_EQ(controls->zip->text(), "80202");
    EXPECT_EQ(controls->county->currentText(), "Denver");
    EXPECT_EQ(controls->radar->currentText(), "Denver/Boulder");
    EXPECT_FALSE(controls->save->isEnabled());
    EXPECT_FALSE(controls->zip->isEnabled());

    // Choosing does not make a location current; deleting the current one makes the one that
    // remains current at once.
    EXPECT_EQ(LocationService::Instance().getCurrentLocation()->displayName, "Austin, TX");
    controls->chooser->setCurrentIndex(controls->chooser->findText("Austin, TX"));
    EXPECT_EQ(controls->zip->text(), "78701");
    EXPECT_EQ(controls->radar->currentText(), "Austin/San Antonio");
    QTest::mouseClick(controls->remove, Qt::LeftButton);
    EXPECT_EQ(controls->chooser->count(), 1);
    EXPECT_EQ(controls->chooser->currentText(), "Denver, CO");
    EXPECT_EQ(QSettings().value("CURRENT_LOCATION").toString(), "Denver, CO");
    EXPECT_EQ(storedLocations(),
              QStringList({"80202", "COC031", "KBKF", "Aurora, Buckley Air Force Base", "FTG",
                           "Denver/Boulder", "Denver, CO"}));
    EXPECT_EQ(LocationService::Instance().getCurrentLocation()->displayName, "Denver, CO");
    EXPECT_GE(server.requestCount("/xml/current_obs/KBKF.xml"), 1);

    // Deleting the current and last location empties both settings, the list as an empty
    // text; no location is current. The first close is refused, the second leaves.
    QTest::mouseClick(controls->remove, Qt::LeftButton);
    EXPECT_EQ(controls->chooser->count(), 0);
    EXPECT_EQ(QSettings().value("CURRENT_LOCATION").toString(), "");
    EXPECT_TRUE(storedLocations().isEmpty());
    EXPECT_EQ(storedLine("ALL_LOCATIONS"), "ALL_LOCATIONS=");
    EXPECT_EQ(LocationService::Instance().getCurrentLocation(), nullptr);
    closeDialog();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(controls->error->text(), "You must selection a location.");
    closeDialog();
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(LocationPageTest, ASelectionTheServiceRefusesIsShownOnceAndTriedAgainOnClose) {
    // A place no other test chooses, so that the service really tries it in any process.
    server.addRoute(
        "/forecasts/xml/sample_products/browser_interface/ndfdXMLclient.php?listZipCodeList=80110",
        testsupport::HttpTestServer::fixture("options/zip_80110.xml"));
    server.addRoute("/xml/current_obs/KBKF.xml", testsupport::HttpTestServer::status(404));
    addLocation("80110");
    const auto& boxes = messageBoxes.boxes;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Information);
    EXPECT_EQ(boxes[0].title, "");
    EXPECT_EQ(boxes[0].text.toStdString(), LocationService::SELECTION_ERROR);
    EXPECT_TRUE(dialog->isEnabled());

    // The station answers again: closing makes the location current and stores it.
    server.addRoute("/xml/current_obs/KBKF.xml",
                    testsupport::HttpTestServer::fixture("nws/xml/current_obs/KBKF.xml"));
    EXPECT_EQ(controls->chooser->currentText(), "Englewood, CO");
    closeDialog();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(LocationService::Instance().getCurrentLocation()->displayName, "Englewood, CO");
    EXPECT_EQ(QSettings().value("CURRENT_LOCATION").toString(), "Englewood, CO");
}

// The code tables are read once per process; this runs only where none was read yet (as
// under ctest, which runs every test in a process of its own).
TEST_F(LocationPageTest, BrokenDataFilesGiveAnErrorLineNotACrash) {
    NWSCodeService& codes = NWSCodeService::Instance();
    if (!codes.getCodes().empty() || !codes.getStationIds().empty()) {
        GTEST_SKIP() << "the code tables were read by an earlier test of this process";
    }
    testsupport::TempDir broken;
    broken.writeFile("zipcodes.csv", "78701,Austin,TX,Travis\n");
    broken.writeFile("countyCodes.txt", "Travis, TXC453\nTexas ---\n");
    codes.setBasePath(broken.path());
    testsupport::LogCapture log;
    controls->search("78701");
    EXPECT_EQ(controls->error->text(), "No weather data for this zip code");
    EXPECT_TRUE(log.contains("No previous state line set."));
    EXPECT_FALSE(controls->save->isEnabled());

    // Good county codes, but no station file.
    broken.writeFile("countyCodes.txt", "Texas ---\nTravis, TXC453\n");
    QTest::mouseClick(controls->find, Qt::LeftButton);
    ASSERT_TRUE(controls->save->isEnabled());
    QTest::mouseClick(controls->save, Qt::LeftButton);
    EXPECT_EQ(controls->error->text(), "No weather data for this zip code");
    EXPECT_TRUE(log.contains("Could not open"));
    EXPECT_EQ(controls->chooser->count(), 0);
    EXPECT_FALSE(QSettings().contains("ALL_LOCATIONS"));
}

}  // namespace
