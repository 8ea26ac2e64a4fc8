#include "options/LocationPage.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStringList>
#include <QStringListModel>
#include <exception>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "options/WaitCursor.h"
#include "services/Logger.h"
#include "weather/GlobalPositionService.h"
#include "weather/LocationService.h"
#include "weather/NWSCodeService.h"
#include "widgets/QPairListModel.h"
#include "widgets/VPLabel.h"
#include "widgets/VPMessageBox.h"

using vpcore::Location_t;
using vpcore::LocationService;
using vpcore::NWSCodeService;

namespace {

const char* const kNoWeatherData = "No weather data for this zip code";

QPairListModel* pairModel(QComboBox* box,
                          const std::vector<std::pair<std::string, std::string>>& pairs = {}) {
    // Parented to the box, so that the box deletes it when the next model replaces it.
    auto* model = new QPairListModel(box);
    model->setPairs(pairs);
    return model;
}

// The value of the box's current row, or "" when no row is chosen.
std::string currentValue(const QComboBox* box) {
    const auto* model = dynamic_cast<const QPairListModel*>(box->model());
    const int row = box->currentIndex();
    if (model == nullptr || row < 0 || row >= model->rowCount()) {
        return std::string();
    }
    return model->valueAt(row).toStdString();
}

}  // namespace

// While a lookup that may wait on the network runs, the dialog shows the busy cursor and a
// status text and takes no input: the fetch runs a local event loop (which also paints the
// status), and a click meanwhile would start a second selection inside the first.
class LocationPage::Busy {
public:
    Busy(LocationPage* page, const QString& status) : page(page), window(page->window()) {
        page->statusLabel->setText(status);
        window->setEnabled(false);
    }
    ~Busy() {
        window->setEnabled(true);
        page->statusLabel->clear();
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    WaitCursor cursor;
    LocationPage* page;
    QWidget* window;
};

LocationPage::LocationPage(QWidget* parent)
    : OptionsPageBase("Location", parent),
      zipEdit(new QLineEdit()),
      countyBox(new QComboBox()),
      radarBox(new QComboBox(this)),
      chooser(new QComboBox()),
      chooserLabel(new QLabel("Choose your current location")),
      findButton(new QPushButton("Find")),
      saveButton(new QPushButton("Save Location")),
      statusLabel(new QLabel()) {
    buildHeader();
    QWidget* content = contentWidget();
    zipEdit->setObjectName("zipEdit");
    countyBox->setObjectName("countyBox");
    radarBox->setObjectName("radarBox");
    chooser->setObjectName("chooser");
    chooserLabel->setObjectName("chooserLabel");
    findButton->setObjectName("findButton");
    saveButton->setObjectName("saveButton");
    statusLabel->setObjectName("statusLabel");

    zipEdit->setMaxLength(5);
    auto* validator = new QIntValidator(0, 99999, zipEdit);
    QLocale digitsOnly = QLocale::c();
    digitsOnly.setNumberOptions(QLocale::RejectGroupSeparator);
    validator->setLocale(digitsOnly);
    zipEdit->setValidator(validator);
    chooser->setModel(new QStringListModel(chooser));
    radarBox->hide();

    auto* addButton = new QPushButton("Add Location");
    addButton->setObjectName("addButton");
    auto* deleteButton = new QPushButton("Delete Location");
    deleteButton->setObjectName("deleteButton");

    auto* layout = new QFormLayout(content);
    auto* chooserRow = new QHBoxLayout();
    chooserRow->addWidget(chooserLabel, 0);
    chooserRow->addWidget(chooser, 0);
    layout->addRow(chooserRow);
    auto* buttonRow = new QHBoxLayout();
    buttonRow->addWidget(addButton, 0);
    buttonRow->addWidget(deleteButton, 0);
    layout->addRow(buttonRow);
    layout->addRow(new QLabel());
    auto* zipRow = new QHBoxLayout();
    zipRow->addWidget(new QLabel("Enter your zip code and click Find"), 0);
    zipRow->addWidget(zipEdit, 0);
    zipRow->addWidget(findButton, 0);
    layout->addRow(zipRow);
    layout->addRow("If this is not your county, choose your county", countyBox);
    layout->addRow(new QLabel());
    auto* saveRow = new QHBoxLayout();
    // The status line takes the room left of the button and wraps there, so that no text it
    // shows moves "Save Location" or pushes it against the edge.
    statusLabel->setWordWrap(true);
    statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    saveRow->addWidget(statusLabel, 1);
    saveRow->addWidget(saveButton, 0);
    layout->addRow(saveRow);
    findButton->setDefault(true);

    connect(findButton, &QPushButton::clicked, this, &LocationPage::onFindButtonClicked);
    connect(addButton, &QPushButton::clicked, this, &LocationPage::onAddButtonClicked);
    connect(deleteButton, &QPushButton::clicked, this, &LocationPage::onDeleteButtonClicked);
    connect(zipEdit, &QLineEdit::textChanged, this, &LocationPage::resetAll);
    connect(saveButton, &QPushButton::clicked, this, &LocationPage::onSaveButtonClicked);
    connect(chooser, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &LocationPage::onCurrentLocationChanged);
    setSearchControlsEnabled(false, true);
    saveButton->setEnabled(false);
}

bool LocationPage::validate(QString& error) {
    if (chooser->currentIndex() >= 0) {
        return true;
    }
    error = "You must selection a location.";
    return false;
}

void LocationPage::resetAll() {
    OptionsPageBase::resetAll();
    clearCodeBoxes();
    saveButton->setEnabled(false);
}

void LocationPage::paintEvent(QPaintEvent* e) {
    if (firstPaint) {
        firstPaint = false;
        reloadLocations();
    }
    QWidget::paintEvent(e);
}

void LocationPage::showEvent(QShowEvent* e) {
    // Two lines of the styled font, whether a text shows or not: the longest texts fit, and a
    // text that appears or goes moves nothing on the page.
    statusLabel->setFixedHeight(VPLabel::heightOfLines(*statusLabel, 2));
    OptionsPageBase::showEvent(e);
}

void LocationPage::setSearchControlsEnabled(bool enabled, bool clear) {
    zipEdit->setEnabled(enabled);
    findButton->setEnabled(enabled);
    countyBox->setEnabled(enabled);
    radarBox->setEnabled(enabled);
    if (clear) {
        zipEdit->clear();
        clearCodeBoxes();
    }
}

void LocationPage::setChooserVisible(bool visible) {
    chooser->setVisible(visible);
    chooserLabel->setVisible(visible);
}

void LocationPage::clearCodeBoxes() {
    countyBox->setModel(pairModel(countyBox));
    radarBox->setModel(pairModel(radarBox));
}

void LocationPage::reloadLocations() {
    LocationService& service = LocationService::Instance();
    std::vector<Location_t> locations;
    service.getLocations(locations);
    QStringList names;
    for (const Location_t& location : locations) {
        names.append(QString::fromStdString(location.displayName));
    }
    chooser->setModel(new QStringListModel(names, chooser));
    const Location_t* current = service.getCurrentLocation();
    if (current != nullptr) {
        chooser->setCurrentIndex(names.indexOf(QString::fromStdString(current->displayName)));
        setChooserVisible(true);
    } else {
        setChooserVisible(false);
    }
}

void LocationPage::onFindButtonClicked(bool) {
    const std::string zip = zipEdit->text().toStdString();
    if (zip.empty()) {
        return;
    }
    clearError();
    saveButton->setEnabled(false);
    WaitCursor busy;
    NWSCodeService& codes = NWSCodeService::Instance();
    // The data files are read on first use: a missing or broken file throws from any lookup.
    try {
        const std::unique_ptr<NWSCodeService::LocationInfo_t> info = codes.getLocationInfo(zip);
        if (!info) {
            setError("Unrecognized zip code");
            return;
        }
        const std::vector<NWSCodeService::CountyAlertCode_t>& alertCodes =
            codes.getStateAlertCodes(info->stateAbbrev);
        if (alertCodes.empty()) {
            setError(kNoWeatherData);
            return;
        }
        std::vector<std::pair<std::string, std::string>> counties;
        for (const NWSCodeService::CountyAlertCode_t& code : alertCodes) {
            counties.emplace_back(code.county, code.countyId);
        }
        countyBox->setModel(pairModel(countyBox, counties));
        countyBox->setCurrentIndex(NWSCodeService::indexOf(info->countyName, alertCodes));

        // The code service gives (radar id, site name); the box shows the name.
        std::vector<std::pair<std::string, std::string>> sites;
        NWSCodeService::localRadarStations(info->stateAbbrev, sites);
        std::vector<std::pair<std::string, std::string>> radars;
        for (const auto& site : sites) {
            radars.emplace_back(site.second, site.first);
        }
        radarBox->setModel(pairModel(radarBox, radars));
        radarBox->setCurrentIndex(0);
    } catch (const std::exception& e) {
        vpcore::Logger::Instance().log("ERROR", e.what());
        clearCodeBoxes();
        setError(kNoWeatherData);
        return;
    }
    saveButton->setEnabled(true);
}

void LocationPage::onAddButtonClicked(bool) {
    setSearchControlsEnabled(true, true);
    zipEdit->setFocus();
}

void LocationPage::onSaveButtonClicked(bool) {
    adding = true;
    addSearchedLocation();
    adding = false;
}

void LocationPage::addSearchedLocation() {
    if (countyBox->currentIndex() < 0) {
        setError("Choose your county");
        return;
    }
    Location_t location;
    location.zipCode = zipEdit->text().toStdString();
    location.alertCode = currentValue(countyBox);
    location.radarId = currentValue(radarBox);
    location.radarName = radarBox->currentText().toStdString();

    std::unique_ptr<std::pair<float, float>> position;
    {
        Busy busy(this, "Looking up zip code " + zipEdit->text() + " ...");
        std::string cacheError;
        position = vpcore::GlobalPositionService::lookupPosition(location.zipCode, cacheError);
        if (!cacheError.empty()) {
            // Told with the next save of the page, in the same box as the settings file.
            pendingWriteFailures.append(
                "Could not add to the zip code coordinates cache " +
                QString::fromStdString(cacheError) +
                ". The position will be looked up on the network again next time.");
        }
    }
    if (!position) {
        // The lookup has logged why; the list stays as it was.
        statusLabel->setText("Could not find where zip code " + zipEdit->text() +
                             " is. Please try again later.");
        return;
    }
    location.position = std::make_shared<std::pair<float, float>>(*position);

    NWSCodeService& codes = NWSCodeService::Instance();
    std::unique_ptr<NWSCodeService::LocationInfo_t> info;
    try {
        float distance = 0.0f;
        const NWSCodeService::Station_t& station = codes.getClosestStation(*position, distance);
        location.stationId = station.id;
        location.stationName = station.name;
        std::ostringstream message;
        message << "Using station " << station.name << " for zip code " << location.zipCode
                << " which is " << distance << " away.";
        vpcore::Logger::Instance().log("INFO", message.str());
        info = codes.getLocationInfo(location.zipCode);
    } catch (const std::exception& e) {
        vpcore::Logger::Instance().log("ERROR", e.what());
        setError(kNoWeatherData);
        return;
    }
    if (!info) {
        return;
    }
    location.displayName = info->city + ", " + info->stateAbbrev;

    LocationService::Instance().addLocation(location);
    std::string error;
    const bool selected = makeCurrent(location.displayName, error);
    if (!selected) {
        VPMessageBox::information(this, QString(), QString::fromStdString(error));
    }
    reloadLocations();
    // With nothing to fall back to, the chooser shows the refused location, and saving would
    // only try it again at once; leaving the page or closing the dialog tries it again.
    if (selected || chooser->currentText() != QString::fromStdString(location.displayName)) {
        save();
    }
    setSearchControlsEnabled(false, false);
    saveButton->setEnabled(false);
}

void LocationPage::onDeleteButtonClicked(bool) {
    const int row = chooser->currentIndex();
    if (row < 0) {
        return;
    }
    LocationService::Instance().deleteLocation(chooser->currentText().toStdString());
    setSearchControlsEnabled(false, true);
    chooser->removeItem(row);
    save();
}

void LocationPage::onCurrentLocationChanged(int index) {
    if (adding || index < 0) {
        return;
    }
    const std::unique_ptr<Location_t> location =
        LocationService::Instance().getLocation(chooser->currentText().toStdString());
    if (!location) {
        return;
    }
    zipEdit->setText(QString::fromStdString(location->zipCode));
    onFindButtonClicked(false);
    if (const auto* counties = dynamic_cast<QPairListModel*>(countyBox->model())) {
        countyBox->setCurrentIndex(counties->indexOfValue(location->alertCode));
    }
    radarBox->setCurrentIndex(radarBox->findText(QString::fromStdString(location->radarName),
                                                 Qt::MatchExactly | Qt::MatchCaseSensitive));
    saveButton->setEnabled(false);
}

void LocationPage::save() {
    const QString current = chooser->currentText();
    if (!current.isEmpty()) {
        std::string error;
        if (!makeCurrent(current.toStdString(), error)) {
            VPMessageBox::information(this, QString(), QString::fromStdString(error));
            return;
        }
    }
    QSettings settings;
    settings.setValue("CURRENT_LOCATION", current);
    std::vector<Location_t> locations;
    LocationService::Instance().getLocations(locations);
    QStringList strings;
    for (const Location_t& location : locations) {
        for (const std::string* field :
             {&location.zipCode, &location.alertCode, &location.stationId, &location.stationName,
              &location.radarId, &location.radarName, &location.displayName}) {
            strings.append(QString::fromStdString(*field));
        }
    }
    // Qt writes an empty list as "@Invalid()", which reads as a broken value; an empty text
    // is read back as an empty list.
    if (strings.isEmpty()) {
        settings.setValue("ALL_LOCATIONS", QString());
    } else {
        settings.setValue("ALL_LOCATIONS", strings);
    }
    // A full disk or a read-only folder: the location runs, and the user learns that it
    // will be gone after a restart.
    commitSettings(settings, pendingWriteFailures);
    pendingWriteFailures.clear();
}

bool LocationPage::makeCurrent(const std::string& displayName, std::string& error) {
    // The service returns at once for the location that already runs.
    Busy busy(this, "Connecting to the weather station of " + QString::fromStdString(displayName) +
                        " ...");
    try {
        return LocationService::Instance().setCurrentLocation(displayName, error);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}
