// The "Current conditions" group box of the main window's conditions page: the condition icon
// and text, humidity, dew point, comfort level, feels-like temperature, visibility, observation
// time and place, the alert indicator and the (hidden) local radar link. Values arrive from the
// publishing thread through two-sided models and image providers and reach the widgets as
// posted events or queued calls; everything else runs on the GUI thread.
#pragma once

#include <QGroupBox>
#include <QImage>
#include <memory>
#include <string>

#include "display/LabelImageProvider.h"
#include "widgets/DoubleSidedDataWidget.h"
#include "widgets/DoubleSidedPresentationModel.h"

class QLabel;
class ProviderAdLinkUpdater;
class ProviderLinkUpdater;
class VPLinkLabel;

namespace vpcore {
class AlertModel;
}

class CurrentConditionsPanel : public QGroupBox {
    Q_OBJECT
public:
    typedef vpcore::DoubleSidedPresentationModel<std::string> StringModel;
    typedef vpcore::DoubleSidedPresentationModel<int> IntModel;
    typedef vpcore::DoubleSidedPresentationModel<float> FloatModel;

    // The provider link's address and text when the provider names none.
    static const char* const NWS_HOME_PAGE;
    static const char* const NWS_NAME;

    // The alert model goes to the alert indicator; it may be null.
    CurrentConditionsPanel(QWidget* parent, std::shared_ptr<vpcore::AlertModel> alertModel);
    ~CurrentConditionsPanel() override;

    // Null unless the provider-links block has been built.
    VPLinkLabel* getProviderLinkLabel() const { return providerLinkLabel; }

    // The template with every "%s" replaced by the upper-cased radar id.
    static std::string expandRadarUrl(const std::string& urlTemplate, const std::string& radarId);

private slots:
    void onProviderLinkClicked(VPLinkLabel* link);
    void onDewpointComfortLevelClicked();
    void onRadarLinkClicked(VPLinkLabel* link);

private:
    // Tests build the provider-links block, which setupUi leaves out.
    friend class ProviderLinksBlockBuilder;

    // Image delegates: called on the publishing thread; they only queue the image for the GUI.
    void onConditionImageChanged(const QImage& image);
    void onProviderImageChanged(const QImage& image);

    void setupUi();
    QWidget* createConditionBox();
    QWidget* createReadingsBox();
    QWidget* createObservationBox();
    QWidget* createRadarLinkBox();
    QWidget* createProviderLinksBox();

    // The template filled with the current location's radar id (none before a location is
    // chosen).
    std::string radarUrl(const std::string& urlTemplate) const;

    // Qt children of the panel; they point at the models below but do not own them.
    DoubleSidedDataWidget<StringModel>* weatherWidget = nullptr;
    DoubleSidedDataWidget<IntModel>* humidityWidget = nullptr;
    DoubleSidedDataWidget<FloatModel>* dewpointWidget = nullptr;
    DoubleSidedDataWidget<StringModel>* comfortWidget = nullptr;
    DoubleSidedDataWidget<FloatModel>* feelsLikeWidget = nullptr;
    DoubleSidedDataWidget<FloatModel>* visibilityWidget = nullptr;
    DoubleSidedDataWidget<StringModel>* observationTimeWidget = nullptr;
    DoubleSidedDataWidget<StringModel>* locationWidget = nullptr;
    QLabel* conditionImageLabel = nullptr;

    // Members go before the Qt children, so every listener has stopped before its widget goes.
    StringModel weatherModel;
    IntModel humidityModel;
    FloatModel dewpointModel;
    StringModel comfortModel;
    FloatModel feelsLikeModel;
    FloatModel visibilityModel;
    StringModel observationTimeModel;
    StringModel locationModel;
    vpcore::LabelImageProvider conditionImageProvider;
    const std::shared_ptr<vpcore::AlertModel> alertModel;
    // Both null unless the provider-links block is built.
    std::unique_ptr<ProviderAdLinkUpdater> providerAdLinkUpdater;
    std::unique_ptr<ProviderLinkUpdater> providerLinkUpdater;
    vpcore::LabelImageProvider providerLogoProvider;
    VPLinkLabel* providerLinkLabel = nullptr;
    // Last, so that it stops listening before any model goes: a reset of the conditions (a new
    // place, or none) empties every text and the condition image.
    class ResetListener;
    std::unique_ptr<ResetListener> resetListener;
};
