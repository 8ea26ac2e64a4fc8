#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <string>
#include <vector>

#include "HttpTestServer.h"
#include "LogCapture.h"
#include "display/LabelImageProvider.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"

using testsupport::HttpTestServer;
using testsupport::LogCapture;
using vpcore::LabelImageProvider;
using vpcore::NotificationService;

namespace {

std::string pngBytes(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

class ImageReceiver {
public:
    void onImage(const QImage& image) { images.push_back(image); }
    std::vector<QImage> images;
};

class LabelImageProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        NotificationService::Instance().reset();
        NotificationService::Instance().registerPropertyIds({vpcore::PROP_ICON_URL});
    }
    void TearDown() override { NotificationService::Instance().reset(); }

    void publish(const std::string& oldUrl, const std::string& newUrl) {
        NotificationService::Instance().notify<std::string>(vpcore::PROP_ICON_URL, &oldUrl,
                                                            &newUrl);
    }
};

TEST_F(LabelImageProviderTest, EachChangeOfTheUrlHandsTheDecodedImageToTheDelegateOnce) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    HttpTestServer server;
    server.addRoute("/icons/few.png", HttpTestServer::ok(pngBytes(55, 58, Qt::blue), "image/png"));
    server.addRoute("/icons/ovc.png", HttpTestServer::ok(pngBytes(20, 10, Qt::gray), "image/png"));
    ImageReceiver receiver;
    LabelImageProvider provider(vpcore::PROP_ICON_URL);
    provider.setImageChangeDelegate(
        fastdelegate::FastDelegate1<const QImage&>(&receiver, &ImageReceiver::onImage));

    publish("", server.url("/icons/few.png"));
    publish(server.url("/icons/few.png"), server.url("/icons/few.png"));  // unchanged: no call
    publish(server.url("/icons/few.png"), server.url("/icons/ovc.png"));

    ASSERT_EQ(receiver.images.size(), 2u);
    EXPECT_EQ(receiver.images[0].size(), QSize(55, 58));
    EXPECT_EQ(receiver.images[0].pixelColor(3, 3), QColor(Qt::blue));
    EXPECT_EQ(receiver.images[1].size(), QSize(20, 10));
}

TEST_F(LabelImageProviderTest, FailuresAreLoggedAndNeverReachTheDelegate) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    HttpTestServer server;
    server.addRoute("/page.html",
                    HttpTestServer::ok("<html><body>Not here</body></html>", "text/html"));
    ImageReceiver receiver;
    LabelImageProvider provider(vpcore::PROP_ICON_URL);
    provider.setImageChangeDelegate(
        fastdelegate::FastDelegate1<const QImage&>(&receiver, &ImageReceiver::onImage));

    {
        LogCapture log;
        publish("", server.url("/page.html"));
        EXPECT_EQ(log.count("ERROR: Unable to read image from URL " + server.url("/page.html") +
                            ". Corrupt image data or unsupported format."),
                  1);
        EXPECT_EQ(log.count("INFO: Supported formats are:"), 1);
        EXPECT_TRUE(log.contains("INFO: png"));
    }
    {
        LogCapture log;
        publish(server.url("/page.html"), "");
        EXPECT_EQ(log.count("ERROR: Unable to retrieve image from URL  "), 1);
    }
    {
        const std::string unreachable = "http://127.0.0.1:1/icons/few.png";
        LogCapture log;
        publish("", unreachable);
        EXPECT_EQ(log.count("ERROR: Unable to retrieve image from URL " + unreachable + " "), 1);
    }
    EXPECT_TRUE(receiver.images.empty());
}

TEST_F(LabelImageProviderTest, TheStaticFetchNeverReturnsNullAndACopyIsNotRegistered) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    std::unique_ptr<QImage> image = LabelImageProvider::getRemoteImageAutoPtr("");
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(image->isNull());

    HttpTestServer server;
    server.addRoute("/a.png", HttpTestServer::ok(pngBytes(4, 4, Qt::red), "image/png"));
    ImageReceiver receiver;
    {
        LabelImageProvider original(vpcore::PROP_ICON_URL);
        original.setImageChangeDelegate(
            fastdelegate::FastDelegate1<const QImage&>(&receiver, &ImageReceiver::onImage));
        LabelImageProvider copy(original);
        publish("", server.url("/a.png"));
        EXPECT_EQ(receiver.images.size(), 1u);  // the original only
    }
    // Both are gone and unregistered: a later change reaches nobody.
    publish(server.url("/a.png"), server.url("/b.png"));
    EXPECT_EQ(receiver.images.size(), 1u);
}

}  // namespace
