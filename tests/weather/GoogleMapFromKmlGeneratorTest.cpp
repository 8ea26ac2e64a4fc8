#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "HttpTestServer.h"
#include "TempDir.h"
#include "services/FileService.h"
#include "weather/GoogleMapFromKmlGenerator.h"

using testsupport::HttpTestServer;
using testsupport::TempDir;
using vpcore::GoogleMapFromKmlGenerator;

namespace {

std::uint32_t crc32(const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// A zip archive of stored (uncompressed) entries with exactly the names given, "../" and
// absolute names included, as a hostile server could publish them.
std::string zipArchive(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string body;
    std::string directory;
    for (const auto& entry : entries) {
        const std::string& name = entry.first;
        const std::string& data = entry.second;
        const std::uint32_t offset = static_cast<std::uint32_t>(body.size());
        const std::uint32_t crc = crc32(data);
        const auto size = static_cast<std::uint32_t>(data.size());
        put32(body, 0x04034b50);
        put16(body, 20);    // version needed
        put16(body, 0);     // flags
        put16(body, 0);     // stored
        put16(body, 0);     // time
        put16(body, 0x21);  // date: 1980-01-01
        put32(body, crc);
        put32(body, size);
        put32(body, size);
        put16(body, static_cast<std::uint32_t>(name.size()));
        put16(body, 0);
        body += name + data;

        put32(directory, 0x02014b50);
        put16(directory, 20);
        put16(directory, 20);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0x21);
        put32(directory, crc);
        put32(directory, size);
        put32(directory, size);
        put16(directory, static_cast<std::uint32_t>(name.size()));
        put16(directory, 0);  // extra
        put16(directory, 0);  // comment
        put16(directory, 0);  // disk
        put16(directory, 0);  // internal attributes
        put32(directory, 0);  // external attributes
        put32(directory, offset);
        directory += name;
    }
    std::string archive = body + directory;
    put32(archive, 0x06054b50);
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, static_cast<std::uint32_t>(entries.size()));
    put16(archive, static_cast<std::uint32_t>(entries.size()));
    put32(archive, static_cast<std::uint32_t>(directory.size()));
    put32(archive, static_cast<std::uint32_t>(body.size()));
    put16(archive, 0);
    return archive;
}

std::string networkLink(const std::string& href, int north, int south, int east, int west) {
    return "<NetworkLink><name>" + href + "</name><Region><LatLonAltBox><north>" +
           std::to_string(north) + "</north><south>" + std::to_string(south) + "</south><east>" +
           std::to_string(east) + "</east><west>" + std::to_string(west) +
           "</west></LatLonAltBox></Region><Link><href>" + href +
           "</href><viewRefreshMode>onRegion</viewRefreshMode></Link></NetworkLink>\n";
}

std::string indexKml(const std::string& links) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document><Folder>\n" +
           links + "</Folder></Document></kml>\n";
}

class GoogleMapFromKmlGeneratorTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The tests run in the build folder, which has no maps/: the template is found
        // below the install folder.
        vpcore::FileService::Instance().setInstallPath(OMBRIX_SOURCE_DIR);
        workFolder = work.path() + "/";
    }
    void TearDown() override { vpcore::FileService::Instance().setInstallPath(""); }

    bool generate(const std::string& archive, const std::string& latLon, std::string& error) {
        server.addRoute("/overlays/radar.kmz",
                        HttpTestServer::ok(archive, "application/vnd.google-earth.kmz"));
        GoogleMapFromKmlGenerator generator(server.url("/overlays/radar.kmz"), latLon, workFolder,
                                            "map.html", "radar");
        return generator.generate(error);
    }

    std::string page() const { return testsupport::readFile(workFolder + "map.html"); }

    HttpTestServer server;
    TempDir work;
    std::string workFolder;
};

TEST_F(GoogleMapFromKmlGeneratorTest, WritesThePageWithTheLinksWhoseRegionCentreIsNear) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    const std::string links =
        networkLink("http://overlays.test/a.kml", 43, 39, -73, -77) +  // centre (41, -75)
        networkLink("http://overlays.test/b.kml", 44, 41, -73, -77) +  // (42.5, -75): too far
        networkLink("http://overlays.test/c.kml", 43, 41, -76, -78) +  // (42, -77): on the edge
        networkLink("http://overlays.test/d.kml", 38, 36, -70, -72);   // (37, -71): too far
    std::string error;

    ASSERT_TRUE(generate(zipArchive({{"index.kml", indexKml(links)}}), "40.0,-75.0", error))
        << error;

    const std::string html = page();
    EXPECT_NE(html.find("var layerCount = 2;"), std::string::npos);
    EXPECT_NE(html.find("new google.maps.LatLng(40.0,-75.0)"), std::string::npos);
    const std::string script =
        "    var layer1 = new google.maps.KmlLayer('http://overlays.test/a.kml', { map: map, "
        "preserveViewport: true, suppressInfoWindows: true});\n"
        "    var layer2 = new google.maps.KmlLayer('http://overlays.test/c.kml', { map: map, "
        "preserveViewport: true, suppressInfoWindows: true});\n"
        "    google.maps.event.addListener(layer1 , \"metadata_changed\", function() { "
        "onMetaDataChanged(); });\n"
        "    google.maps.event.addListener(layer2 , \"metadata_changed\", function() { "
        "onMetaDataChanged(); });\n";
    EXPECT_NE(html.find(script), std::string::npos) << html;
    EXPECT_EQ(html.find("${"), std::string::npos);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(workFolder + "radar.kmz")));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(workFolder + "index.kml")));
}

TEST_F(GoogleMapFromKmlGeneratorTest, NoLinkNearbyStillWritesThePage) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    const std::string links = networkLink("http://overlays.test/far.kml", 20, 18, -150, -152);
    std::string error;

    ASSERT_TRUE(generate(zipArchive({{"index.kml", indexKml(links)}}), "40.0,-75.0", error));

    const std::string html = page();
    EXPECT_NE(html.find("var layerCount = 0;"), std::string::npos);
    EXPECT_EQ(html.find("var layer1"), std::string::npos);
    EXPECT_EQ(html.find("${KML_LAYERS}"), std::string::npos);
}

TEST_F(GoogleMapFromKmlGeneratorTest, ALinkCannotLeaveItsStringInThePagesScript) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    struct Case {
        const char* kmlText;  // the href as written in the KML (XML-escaped)
        const char* inPage;   // how the page's script must hold it
    };
    // A quote, a backslash, a line break (also U+2028, a line end to JavaScript) or the end
    // of the script element would let the rest of the link run as script.
    const Case cases[] = {
        {"http://overlays.test/a.kml?x=1&amp;y=2", "http://overlays.test/a.kml?x=1&y=2"},
        {"http://x.test/');alert(1);//", "http://x.test/\\u0027);alert(1);//"},
        {"http://x.test/&lt;/script&gt;&lt;script&gt;alert(1)&lt;/script&gt;",
         "http://x.test/\\u003C/script\\u003E\\u003Cscript\\u003Ealert(1)\\u003C/script\\u003E"},
        {"http://x.test/\\'+alert(1)+'", "http://x.test/\\u005C\\u0027+alert(1)+\\u0027"},
        {"http://x.test/a&#10;alert(1)&#x2028;\"b\"",
         "http://x.test/a\\u000Aalert(1)\\u2028\\u0022b\\u0022"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kmlText);
        std::string error;
        ASSERT_TRUE(generate(
            zipArchive({{"index.kml", indexKml(networkLink(c.kmlText, 43, 39, -73, -77))}}),
            "40.0,-75.0", error))
            << error;
        const std::string html = page();
        EXPECT_NE(html.find("new google.maps.KmlLayer('" + std::string(c.inPage) + "', {"),
                  std::string::npos)
            << html;
        EXPECT_EQ(html.find("alert(1)</script>"), std::string::npos);
        EXPECT_EQ(html.find("');alert"), std::string::npos);
    }
}

TEST_F(GoogleMapFromKmlGeneratorTest, EntriesNamingPathsOutsideTheWorkFolderStayInside) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    // The work folder sits inside another temporary folder, whose content must not change.
    TempDir outer;
    const std::string inner = outer.path() + "/work/";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(inner)));
    workFolder = inner;
    const std::string absolute = outer.path() + "/absolute.txt";
    const std::string links = networkLink("http://overlays.test/a.kml", 43, 39, -73, -77);
    std::string error;

    ASSERT_TRUE(generate(zipArchive({{"../escaped.txt", "x"},
                                     {absolute, "y"},
                                     {"sub/../../up.txt", "z"},
                                     {"index.kml", indexKml(links)}}),
                         "40.0,-75.0", error))
        << error;

    const QStringList outside = QDir(QString::fromStdString(outer.path()))
                                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_EQ(outside, QStringList() << "work");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(absolute)));
    EXPECT_NE(page().find("var layerCount = 1;"), std::string::npos);
}

TEST_F(GoogleMapFromKmlGeneratorTest, FailuresEndTheRunWithTheirReason) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    std::string error;
    EXPECT_FALSE(generate(zipArchive({{"doc.kml", indexKml("")}}), "40.0,-75.0", error));
    // The unzip program's own words are the reason.
    EXPECT_NE(error.find("opened"), std::string::npos) << error;
    EXPECT_EQ(error.find("extracting: index.kml"), std::string::npos) << error;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(workFolder + "map.html")));

    error.clear();
    EXPECT_FALSE(generate(zipArchive({{"index.kml", "<kml><Document>"}}), "40.0,-75.0", error));
    EXPECT_EQ(error.rfind("Error parsing document: ", 0), 0u) << error;

    error.clear();
    std::string deep;
    for (int i = 0; i < 300; ++i) {
        deep += "<Folder>";
    }
    EXPECT_FALSE(
        generate(zipArchive({{"index.kml", "<kml>" + deep + "</kml>"}}), "40.0,-75.0", error));
    EXPECT_EQ(error.rfind("Error parsing document: elements nested deeper than 256 levels", 0), 0u)
        << error;

    error.clear();
    server.addRoute("/missing.kmz", HttpTestServer::status(404, "Not Found"));
    GoogleMapFromKmlGenerator missing(server.url("/missing.kmz"), "40.0,-75.0", workFolder,
                                      "map.html", "radar");
    EXPECT_FALSE(missing.generate(error));
    EXPECT_EQ(error, "Cannot read from NetworkReply");

    error.clear();
    server.addRoute("/empty.kmz", HttpTestServer::ok(""));
    GoogleMapFromKmlGenerator empty(server.url("/empty.kmz"), "40.0,-75.0", workFolder, "map.html",
                                    "radar");
    EXPECT_FALSE(empty.generate(error));
    EXPECT_EQ(error, "No data in NetworkReply");

    error.clear();
    EXPECT_FALSE(generate(zipArchive({{"index.kml", indexKml("")}}), "somewhere", error));
    EXPECT_EQ(error, "Invalid latitude and longitude: somewhere");
    EXPECT_EQ(server.requestCount("/overlays/radar.kmz"), 3);  // not fetched for a bad location
}

}  // namespace
