// The options page where the user makes weather locations from US zip codes, deletes them and
// chooses the current one. It resolves a zip code through the NWS code service and the global
// position service, hands the location to the location service and stores the list and the
// choice under ALL_LOCATIONS and CURRENT_LOCATION. GUI thread only.
#pragma once

#include <QStringList>
#include <string>

#include "options/OptionsPageBase.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPaintEvent;
class QPushButton;
class QShowEvent;

class LocationPage : public OptionsPageBase {
    Q_OBJECT
public:
    explicit LocationPage(QWidget* parent);

    // False ("You must selection a location.") while no location is chosen.
    bool validate(QString& error) override;
    // Makes the chosen location current and writes CURRENT_LOCATION and ALL_LOCATIONS; writes
    // nothing when the location service refuses the choice.
    void save() override;
    void resetAll() override;

protected:
    // The saved locations are loaded on the first paint, so the dialog opens without waiting.
    void paintEvent(QPaintEvent* e) override;
    // Gives the status line its height once its font is known.
    void showEvent(QShowEvent* e) override;

private slots:
    void onFindButtonClicked(bool checked = false);
    void onAddButtonClicked(bool checked = false);
    void onDeleteButtonClicked(bool checked = false);
    void onSaveButtonClicked(bool checked = false);
    void onCurrentLocationChanged(int index);

private:
    class Busy;

    void setSearchControlsEnabled(bool enabled, bool clear);
    void setChooserVisible(bool visible);
    void reloadLocations();
    // Empty pair models for the county and radar boxes.
    void clearCodeBoxes();
    // setCurrentLocation that turns every refusal, thrown or returned, into an error text.
    bool makeCurrent(const std::string& displayName, std::string& error);
    // Finds, adds and makes current the location of the zip code in the search controls.
    void addSearchedLocation();

    QLineEdit* zipEdit;
    QComboBox* countyBox;  // (county, alert code) rows of the zip code's state
    QComboBox* radarBox;   // (site name, radar id) rows; never shown
    QComboBox* chooser;    // display names of the saved locations
    QLabel* chooserLabel;
    QPushButton* findButton;
    QPushButton* saveButton;
    QLabel* statusLabel;  // what a lookup the user waits for is doing, or why it failed
    QStringList pendingWriteFailures;  // writes that failed since the last save, to be told
    bool adding = false;  // set while a new location is saved: chooser changes are ignored
    bool firstPaint = true;
};
