#include "conditions/CurrentConditionsPanel.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QUrl>
#include <QVBoxLayout>
#include <locale>

#include "alerts/AlertWidget.h"
#include "conditions/DewpointComfortGauge.h"
#include "conditions/ProviderAdLinkUpdater.h"
#include "conditions/ProviderLinkUpdater.h"
#include "radar/ImageOverlayHandler.h"
#include "services/PropIds.h"
#include "weather/AlertModel.h"
#include "weather/CurrentWeatherInfoModel.h"
#include "weather/LocationService.h"
#include "widgets/PageSwitcher.h"
#include "widgets/VPLinkLabel.h"

const char* const CurrentConditionsPanel::NWS_HOME_PAGE = "https://www.weather.gov/";
const char* const CurrentConditionsPanel::NWS_NAME = "National Weather Service";

namespace {

// UTF-8, as the labels read every text through QString::fromStdString.
const char* const kFahrenheit = "\u00B0F";
const char* const kCelsius = "\u00B0C";

const int kNoBackSide = 0;
const unsigned int kFrontShown = 0;
const unsigned int kSingleSided = 2;

}  // namespace

class CurrentConditionsPanel::ResetListener : public vpcore::NoPropertyChangeListener {
public:
    explicit ResetListener(std::function<void()> onReset) : onReset(std::move(onReset)) {
        vpcore::NotificationService::Instance().addPropertyChangeListener<int>(
            this, {vpcore::PROP_CONDITIONS_RESET});
    }
    ~ResetListener() override {
        vpcore::NotificationService::Instance().removePropertyChangeListener<int>(
            this, {vpcore::PROP_CONDITIONS_RESET});
    }
    ResetListener(const ResetListener&) = delete;
    ResetListener& operator=(const ResetListener&) = delete;

    void handlePropertyChange(short, const int* const, const int* const) override { onReset(); }

private:
    const std::function<void()> onReset;
};

CurrentConditionsPanel::CurrentConditionsPanel(QWidget* parent,
                                               std::shared_ptr<vpcore::AlertModel> alertModel)
    : QGroupBox("Current conditions", parent),
      weatherModel(vpcore::PROP_WEATHER, kNoBackSide, kSingleSided),
      humidityModel(vpcore::PROP_RELATIVE_HUMIDITY, kNoBackSide, kSingleSided),
      dewpointModel(vpcore::PROP_DEWPOINT_F, vpcore::PROP_DEWPOINT_C, kFrontShown),
      comfortModel(vpcore::PROP_DEWPOINT_COMFORT_LEVEL, kNoBackSide, kSingleSided),
      feelsLikeModel(vpcore::PROP_FEELS_LIKE_F, vpcore::PROP_FEELS_LIKE_C, kFrontShown),
      visibilityModel(vpcore::PROP_VISIBILITY_MI, vpcore::PROP_VISIBILITY_KM, kFrontShown),
      observationTimeModel(vpcore::PROP_OBSERVATION_TIME, kNoBackSide, kSingleSided),
      locationModel(vpcore::PROP_LOCATION, kNoBackSide, kSingleSided),
      conditionImageProvider(vpcore::PROP_ICON_URL),
      alertModel(std::move(alertModel)),
      providerLogoProvider(vpcore::PROP_PROVIDER_LOGO) {
    humidityModel.setFrontSuffix("%");
    humidityModel.setNoReadingValue(vpcore::CurrentWeatherInfoModel::NO_HUMIDITY);
    dewpointModel.setFrontSuffix(kFahrenheit);
    dewpointModel.setBackSuffix(kCelsius);
    feelsLikeModel.setFrontSuffix(kFahrenheit);
    feelsLikeModel.setBackSuffix(kCelsius);
    visibilityModel.setFrontSuffix("mi");
    visibilityModel.setBackSuffix("km");
    conditionImageProvider.setImageChangeDelegate(fastdelegate::FastDelegate1<const QImage&>(
        this, &CurrentConditionsPanel::onConditionImageChanged));
    setupUi();
    // Runs on the publishing thread: the models post their texts, the image is queued.
    resetListener = std::make_unique<ResetListener>([this] {
        for (StringModel* model :
             {&weatherModel, &comfortModel, &observationTimeModel, &locationModel}) {
            model->clearTexts();
        }
        humidityModel.clearTexts();
        for (FloatModel* model : {&dewpointModel, &feelsLikeModel, &visibilityModel}) {
            model->clearTexts();
        }
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (conditionImageLabel != nullptr) {
                    conditionImageLabel->clear();
                }
            },
            Qt::QueuedConnection);
    });
}

CurrentConditionsPanel::~CurrentConditionsPanel() = default;

void CurrentConditionsPanel::setupUi() {
    // The wrappers add no margins of their own: with the default ones the readings do not fit
    // the panel's 208 pixels and the last rows are cut off.
    auto* topRow = new QWidget();
    auto* topLayout = new QHBoxLayout(topRow);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(createConditionBox());
    topLayout->addWidget(createReadingsBox());

    auto* leftColumn = new QWidget();
    leftColumn->setMinimumWidth(458);
    auto* leftLayout = new QVBoxLayout(leftColumn);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(topRow);
    leftLayout->addWidget(createObservationBox());

    auto* panelLayout = new QHBoxLayout(this);
    panelLayout->addWidget(leftColumn);
    panelLayout->addWidget(createRadarLinkBox());
}

QWidget* CurrentConditionsPanel::createConditionBox() {
    auto* box = new QWidget();
    conditionImageLabel = new QLabel(QString(), box);
    conditionImageLabel->setObjectName("conditionImage");
    weatherWidget = new DoubleSidedDataWidget<StringModel>(&weatherModel, box);
    weatherWidget->setObjectName("weatherValue");
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(conditionImageLabel);
    layout->addWidget(weatherWidget);
    box->setMinimumHeight(100);
    return box;
}

QWidget* CurrentConditionsPanel::createReadingsBox() {
    auto* box = new QWidget();
    const char* const captions[] = {"Relative Humidity:", "Dewpoint:", "Dewpoint comfort level:",
                                    "Feels like temperature:", "Visibility:"};
    humidityWidget = new DoubleSidedDataWidget<IntModel>(&humidityModel, box);
    humidityWidget->setObjectName("humidityValue");
    dewpointWidget = new DoubleSidedDataWidget<FloatModel>(&dewpointModel, box);
    dewpointWidget->setObjectName("dewpointValue");
    comfortWidget = new DoubleSidedDataWidget<StringModel>(&comfortModel, box);
    comfortWidget->setObjectName("comfortValue");
    feelsLikeWidget = new DoubleSidedDataWidget<FloatModel>(&feelsLikeModel, box);
    feelsLikeWidget->setObjectName("feelsLikeValue");
    visibilityWidget = new DoubleSidedDataWidget<FloatModel>(&visibilityModel, box);
    visibilityWidget->setObjectName("visibilityValue");
    QWidget* const values[] = {humidityWidget, dewpointWidget, comfortWidget, feelsLikeWidget,
                               visibilityWidget};

    auto* grid = new QGridLayout();
    grid->setContentsMargins(0, 0, 0, 0);
    for (int column = 0; column < 2; ++column) {
        grid->setColumnMinimumWidth(column, 160);
        grid->setColumnStretch(column, 40);
    }
    for (int row = 0; row < 5; ++row) {
        grid->addWidget(new QLabel(captions[row], box), row, 0);
        grid->addWidget(values[row], row, 1);
    }
    box->setLayout(grid);
    box->setMinimumHeight(120);

    comfortWidget->setClickHandler([this] { onDewpointComfortLevelClicked(); });
    for (QWidget* clickable :
         {static_cast<QWidget*>(dewpointWidget), static_cast<QWidget*>(feelsLikeWidget),
          static_cast<QWidget*>(visibilityWidget), static_cast<QWidget*>(comfortWidget)}) {
        clickable->setProperty("playsound", "drop");
    }
    return box;
}

QWidget* CurrentConditionsPanel::createObservationBox() {
    auto* outer = new QWidget(this);
    auto* inner = new QWidget(this);
    const QString smallItalic = "font-family: Helvetica; font-size: 10px; font-style: italic";
    observationTimeWidget = new DoubleSidedDataWidget<StringModel>(&observationTimeModel, inner);
    observationTimeWidget->setObjectName("observationTimeValue");
    observationTimeWidget->setLabelStyleSheet(smallItalic);
    locationWidget = new DoubleSidedDataWidget<StringModel>(&locationModel, inner);
    locationWidget->setObjectName("locationValue");
    locationWidget->setLabelStyleSheet(smallItalic);
    auto* innerLayout = new QVBoxLayout(inner);
    innerLayout->setContentsMargins(5, 0, 0, 0);
    innerLayout->addWidget(observationTimeWidget);
    innerLayout->addWidget(locationWidget);

    auto* alertBlock = new QWidget(this);
    auto* alertLayout = new QHBoxLayout(alertBlock);
    alertLayout->addWidget(new AlertWidget(alertModel, this));
    alertLayout->setContentsMargins(38, 0, 0, 0);

    auto* outerLayout = new QHBoxLayout(outer);
    outerLayout->setContentsMargins(0, 0, 0, 0);
    outerLayout->addWidget(inner);
    outerLayout->addWidget(alertBlock);
    return outer;
}

QWidget* CurrentConditionsPanel::createRadarLinkBox() {
    auto* box = new QWidget(this);
    auto* layout = new QHBoxLayout(box);
    auto* radarLink = new VPLinkLabel(this);
    radarLink->setObjectName("radarLink");
    radarLink->setText("Local Radar");
    layout->addWidget(radarLink);
    connect(radarLink, &VPLinkLabel::clicked, this, &CurrentConditionsPanel::onRadarLinkClicked);
    radarLink->setVisible(false);
    return box;
}

QWidget* CurrentConditionsPanel::createProviderLinksBox() {
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    std::vector<VPLinkLabel*> adLinks;
    for (int i = 0; i < 5; ++i) {
        auto* link = new VPLinkLabel(this);
        layout->addWidget(link);
        adLinks.push_back(link);
    }
    auto* caption = new QLabel("Current conditions provided by", box);
    caption->setStyleSheet("QLabel { color: white; font-family: Helvetica; font-size: 10px; }");
    layout->addWidget(caption);
    providerLinkLabel = new VPLinkLabel(this);
    providerLinkLabel->setAlignment(Qt::AlignRight);
    providerLinkLabel->setText(NWS_NAME);
    providerLinkLabel->setUrl(NWS_HOME_PAGE);
    layout->addWidget(providerLinkLabel);

    std::vector<VPLinkLabel*> allLinks = adLinks;
    allLinks.push_back(providerLinkLabel);
    for (VPLinkLabel* link : allLinks) {
        connect(link, &VPLinkLabel::clicked, this, &CurrentConditionsPanel::onProviderLinkClicked);
    }
    providerAdLinkUpdater = std::make_unique<ProviderAdLinkUpdater>(adLinks);
    providerLinkUpdater = std::make_unique<ProviderLinkUpdater>(this);
    providerLogoProvider.setImageChangeDelegate(fastdelegate::FastDelegate1<const QImage&>(
        this, &CurrentConditionsPanel::onProviderImageChanged));
    return box;
}

void CurrentConditionsPanel::onConditionImageChanged(const QImage& image) {
    // A pixmap may only be made on the GUI thread; the copy shares the decoded pixels.
    QMetaObject::invokeMethod(
        this,
        [this, image] {
            if (conditionImageLabel != nullptr) {
                conditionImageLabel->setPixmap(QPixmap::fromImage(image));
            }
        },
        Qt::QueuedConnection);
}

void CurrentConditionsPanel::onProviderImageChanged(const QImage& image) {
    QMetaObject::invokeMethod(
        this,
        [this, image] {
            if (providerLinkLabel != nullptr) {
                providerLinkLabel->setPixmap(QPixmap::fromImage(image));
            }
        },
        Qt::QueuedConnection);
}

void CurrentConditionsPanel::onProviderLinkClicked(VPLinkLabel* link) {
    if (link != nullptr && !link->url().isEmpty()) {
        QDesktopServices::openUrl(QUrl(link->url()));
    }
}

void CurrentConditionsPanel::onDewpointComfortLevelClicked() {
    DewpointComfortGauge gauge(comfortModel.getDisplayText(true), this);
    gauge.exec();
}

void CurrentConditionsPanel::onRadarLinkClicked(VPLinkLabel*) {
    ImageOverlayHandler::showLocalRadar(
        PageSwitcher::of(this),
        [this](const std::string& urlTemplate) { return radarUrl(urlTemplate); });
}

std::string CurrentConditionsPanel::expandRadarUrl(const std::string& urlTemplate,
                                                   const std::string& radarId) {
    std::string upper;
    const std::locale locale;
    for (char c : radarId) {
        upper += std::toupper(c, locale);
    }
    std::string url;
    std::size_t from = 0;
    for (std::size_t at = urlTemplate.find("%s"); at != std::string::npos;
         at = urlTemplate.find("%s", from)) {
        url.append(urlTemplate, from, at - from);
        url += upper;
        from = at + 2;
    }
    url.append(urlTemplate, from, std::string::npos);
    return url;
}

std::string CurrentConditionsPanel::radarUrl(const std::string& urlTemplate) const {
    const vpcore::Location_t* location = vpcore::LocationService::Instance().getCurrentLocation();
    return expandRadarUrl(urlTemplate, location != nullptr ? location->radarId : std::string());
}
