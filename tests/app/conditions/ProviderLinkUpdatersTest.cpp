#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QTest>
#include <QUrl>
#include <memory>
#include <thread>

#include "AppTestSupport.h"
#include "ConditionsPanelTestSupport.h"
#include "HttpTestServer.h"
#include "LogCapture.h"
#include "conditions/CurrentConditionsPanel.h"
#include "conditions/ProviderAdLinkUpdater.h"
#include "conditions/ProviderLinkUpdater.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "weather/LocationService.h"
#include "widgets/VPLinkLabel.h"

// Builds the panel's provider-links block, which the panel's own layout leaves out.
class ProviderLinksBlockBuilder {
public:
    static QWidget* build(CurrentConditionsPanel& panel) { return panel.createProviderLinksBox(); }
};

// Takes the addresses the program asks the desktop to open, instead of a browser.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void open(const QUrl& url) { urls.push_back(url.toString()); }
    std::vector<QString> urls;
};

namespace {

using vpcore::NotificationService;
typedef ProviderAdLinkUpdater::LinkList LinkList;

// The service drops a change whose old and new values are equal, so the old value given here
// is one no test publishes.
template <class T>
T unlikelyOldValue();
template <>
LinkList unlikelyOldValue<LinkList>() {
    return {{"old", "old"}};
}
template <>
std::string unlikelyOldValue<std::string>() {
    return "old";
}

template <class T>
void publishFromWorker(short id, const T& value) {
    std::thread worker([id, value] {
        const T old = unlikelyOldValue<T>();
        NotificationService::Instance().notify<T>(id, &old, &value);
    });
    worker.join();
}

LinkList pairs(int count) {
    LinkList list;
    for (int i = 1; i <= count; ++i) {
        list.emplace_back("link " + std::to_string(i), "http://example.test/" + std::to_string(i));
    }
    return list;
}

class ProviderLinkUpdatersTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The provider ids come from their publisher, the location service's model.
        vpcore::LocationService::Instance();
        for (int i = 0; i < 5; ++i) {
            labels.push_back(new VPLinkLabel(&parent));
            labels.back()->setText("before");
        }
        parent.show();
    }

    QWidget parent;
    std::vector<VPLinkLabel*> labels;
};

TEST_F(ProviderLinkUpdatersTest, AListShowsThatManyLabelsInOrderAndHidesTheRest) {
    ProviderAdLinkUpdater updater(labels);
    for (int count : {5, 2, 0, 3}) {
        SCOPED_TRACE(count);
        publishFromWorker<LinkList>(vpcore::PROP_PROVIDER_LINKS, pairs(count));
        ASSERT_TRUE(apptest::waitFor([&] { return labels[4]->text() != "before"; }));
        const LinkList expected = pairs(count);
        ASSERT_TRUE(apptest::waitFor([&] {
            for (int i = 0; i < 5; ++i) {
                const bool shown = i < count;
                const QString text = shown ? QString::fromStdString(expected[i].first) : "";
                const QString url = shown ? QString::fromStdString(expected[i].second) : "";
                if (labels[i]->isVisible() != shown || labels[i]->text() != text ||
                    labels[i]->url() != url) {
                    return false;
                }
            }
            return true;
        }));
        for (VPLinkLabel* label : labels) {
            label->setText("before");
        }
    }
}

TEST_F(ProviderLinkUpdatersTest, TooManyLinksAreLoggedAndChangeNoLabel) {
    ProviderAdLinkUpdater updater(labels);
    testsupport::LogCapture log;
    publishFromWorker<LinkList>(vpcore::PROP_PROVIDER_LINKS, pairs(6));
    apptest::drainEvents();
    EXPECT_EQ(log.count("ERROR: Too many provider links"), 1);
    for (VPLinkLabel* label : labels) {
        EXPECT_EQ(label->text(), "before");
        EXPECT_TRUE(label->isVisible());
    }
}

TEST_F(ProviderLinkUpdatersTest, ADestroyedUpdaterHearsNothing) {
    auto updater = std::make_unique<ProviderAdLinkUpdater>(labels);
    updater.reset();
    publishFromWorker<LinkList>(vpcore::PROP_PROVIDER_LINKS, pairs(1));
    apptest::drainEvents();
    EXPECT_EQ(labels[0]->text(), "before");
}

TEST_F(ProviderLinkUpdatersTest, TheProviderLinkFallsBackToTheWeatherService) {
    apptest::TestPanel panel;
    EXPECT_EQ(panel.getProviderLinkLabel(), nullptr);
    ProviderLinksBlockBuilder::build(panel);
    VPLinkLabel* link = panel.getProviderLinkLabel();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text(), "National Weather Service");
    EXPECT_EQ(link->url(), CurrentConditionsPanel::NWS_HOME_PAGE);

    publishFromWorker<std::string>(vpcore::PROP_PROVIDER_LINK, "http://provider.test/");
    ASSERT_TRUE(apptest::waitFor([&] { return link->url() == "http://provider.test/"; }));
    EXPECT_EQ(link->text(), "");

    publishFromWorker<std::string>(vpcore::PROP_PROVIDER_LINK, "");
    ASSERT_TRUE(
        apptest::waitFor([&] { return link->url() == CurrentConditionsPanel::NWS_HOME_PAGE; }));
    EXPECT_EQ(link->text(), "National Weather Service");
}

TEST_F(ProviderLinkUpdatersTest, TheLogoIsShownOnlyWhereTheLinksBlockIsBuilt) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    testsupport::HttpTestServer server;
    server.addRoute("/logo.png", testsupport::HttpTestServer::fixture(
                                     "nws/images/wtf/small/few.png", "image/png"));
    {
        apptest::TestPanel panel;
        publishFromWorker<std::string>(vpcore::PROP_PROVIDER_LOGO, server.url("/logo.png"));
        EXPECT_EQ(server.requestCount("/logo.png"), 1);
        apptest::drainEvents();
        for (QLabel* label : panel.findChildren<QLabel*>()) {
            EXPECT_TRUE(label->pixmap().isNull());
        }
    }
    apptest::TestPanel panel;
    ProviderLinksBlockBuilder::build(panel);
    publishFromWorker<std::string>(vpcore::PROP_PROVIDER_LOGO, server.url("/logo.png"));
    ASSERT_TRUE(apptest::waitFor([&] { return !panel.getProviderLinkLabel()->pixmap().isNull(); }));
    EXPECT_EQ(panel.getProviderLinkLabel()->pixmap().size(),
              QImage(QString(OMBRIX_FIXTURE_DIR) + "/nws/images/wtf/small/few.png").size());
}

TEST_F(ProviderLinkUpdatersTest, AClickOnAProviderLinkOpensItsAddress) {
    apptest::TestPanel panel;
    ProviderLinksBlockBuilder::build(panel);
    panel.show();
    UrlRecorder recorder;
    for (const char* scheme : {"http", "https"}) {
        QDesktopServices::setUrlHandler(scheme, &recorder, "open");
    }

    QTest::mouseClick(panel.getProviderLinkLabel(), Qt::LeftButton);
    publishFromWorker<LinkList>(vpcore::PROP_PROVIDER_LINKS, pairs(2));
    std::vector<VPLinkLabel*> adLinks;
    for (VPLinkLabel* link : panel.findChildren<VPLinkLabel*>()) {
        if (link != panel.getProviderLinkLabel() && link->objectName() != "radarLink") {
            adLinks.push_back(link);
        }
    }
    ASSERT_EQ(adLinks.size(), 5u);
    ASSERT_TRUE(apptest::waitFor([&] { return adLinks[1]->text() == "link 2"; }));
    QTest::mouseClick(adLinks[1], Qt::LeftButton);
    // A hidden link without an address opens nothing.
    QTest::mouseClick(adLinks[4], Qt::LeftButton);

    for (const char* scheme : {"http", "https"}) {
        QDesktopServices::unsetUrlHandler(scheme);
    }
    EXPECT_EQ(recorder.urls, (std::vector<QString>{CurrentConditionsPanel::NWS_HOME_PAGE,
                                                   "http://example.test/2"}));
}

}  // namespace

#include "ProviderLinkUpdatersTest.moc"
