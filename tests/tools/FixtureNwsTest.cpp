// The fixture NWS program, started as the program and the smoke tests start it: its command
// line, what it answers under the NWS paths, and that its documents fit the real data files, so
// that a user who picks one of its zip codes gets a working location.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "HostileAnswer.h"
#include "services/FileService.h"
#include "weather/NWSCodeService.h"

namespace {

const std::string kRoot = OMBRIX_FIXTURE_NWS_DIR;
const std::string kZipLookup =
    "/forecasts/xml/sample_products/browser_interface/ndfdXMLclient.php?listZipCodeList=";

// One fixture_nws process for the whole suite: started with --port 0, stopped with SIGTERM.
class FixtureNwsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        process = new QProcess();
        process->start(FIXTURE_NWS_PROGRAM, {"--port", "0"});
        ASSERT_TRUE(process->waitForStarted(10000));
        ASSERT_TRUE(process->waitForReadyRead(10000));
        const QString line = QString::fromUtf8(process->readLine()).trimmed();
        const auto match = QRegularExpression("^listening on 127\\.0\\.0\\.1:(\\d+)$").match(line);
        ASSERT_TRUE(match.hasMatch()) << line.toStdString();
        port = match.captured(1).toInt();
        ASSERT_GT(port, 0);
    }
    static void TearDownTestSuite() {
        process->terminate();
        const bool finished = process->waitForFinished(10000);
        EXPECT_TRUE(finished);
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0);
        // One line per request with the status it was answered with.
        const QStringList lines =
            QString::fromUtf8(process->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        EXPECT_FALSE(lines.isEmpty());
        for (const QString& line : lines) {
            EXPECT_TRUE(QRegularExpression("^GET /\\S* (200|404)$").match(line).hasMatch())
                << line.toStdString();
        }
        delete process;
        process = nullptr;
    }

    static std::string base() { return "http://127.0.0.1:" + std::to_string(port); }

    // Status and body of a GET.
    static std::pair<int, std::string> get(const std::string& target) {
        httplib::Client client("127.0.0.1", port);
        client.set_connection_timeout(10);
        client.set_read_timeout(10);
        const auto result = client.Get(target);
        if (!result) {
            return {-1, ""};
        }
        return {result->status, result->body};
    }

    static std::vector<std::string> allBetween(const std::string& text, const std::string& open,
                                               const std::string& close) {
        std::vector<std::string> found;
        for (std::size_t at = text.find(open); at != std::string::npos;
             at = text.find(open, at + 1)) {
            const std::size_t start = at + open.size();
            found.push_back(text.substr(start, text.find(close, start) - start));
        }
        return found;
    }

    static QProcess* process;
    static int port;
};

QProcess* FixtureNwsTest::process = nullptr;
int FixtureNwsTest::port = 0;

TEST_F(FixtureNwsTest, ServesObservationsWithLinksBackToItself) {
    const auto katt = get("/xml/current_obs/KATT.xml");
    ASSERT_EQ(katt.first, 200);
    EXPECT_NE(katt.second.find("<station_id>KATT</station_id>"), std::string::npos);
    EXPECT_NE(katt.second.find("<icon_url_base>" + base() + "/images/wtf/small/</icon_url_base>"),
              std::string::npos);
    EXPECT_EQ(katt.second.find("$FIXTURE_BASE$"), std::string::npos);

    EXPECT_EQ(get("/xml/current_obs/KXYZ.xml").first, 404);
}

TEST_F(FixtureNwsTest, AnswersEveryKindOfRequestItKnows) {
    struct Case {
        std::string target;
        int status;
        std::string fragment;  // expected in the body
    };
    const std::vector<Case> cases = {
        {kZipLookup + "78701", 200, "<latLonList>30.2711,-97.7437</latLonList></dwml>"},
        {kZipLookup + "80202", 200, "<latLonList>39.7527,-104.9995</latLonList>"},
        {kZipLookup + "00000", 200, "<latLonList></latLonList>"},
        // The point as the forecast provider writes a float position, and a nearby one.
        {"/MapClick.php?lat=30.2711&lon=-97.7437&FcstType=dwml", 200, "<city state=\"TX\">"},
        {"/MapClick.php?lat=39.7&lon=-105.1&FcstType=dwml", 200, "<city state=\"CO\">"},
        {"/MapClick.php?lat=27.9517&lon=-82.4588&FcstType=dwml", 200, "<city state=\"FL\">"},
        {"/MapClick.php?lat=45&lon=-120&FcstType=dwml", 404, ""},
        {"/MapClick.php?lat=north&lon=-97.7&FcstType=dwml", 404, ""},
        {"/cap/wwaatmget.php?x=TXC453", 200, "<cap:event>Flood Watch</cap:event>"},
        {"/cap/wwaatmget.php?x=COC031", 200,
         "<title>There are no active watches, warnings or advisories</title>"},
        {"/cap/wwaatmget.php?x=COC031", 200, "wwaatmget.php?x=COC031&amp;y=0</id>"},
        {"/cap/wwaatmget.php?x=../zipcodes", 404, ""},
        {"/cap/wwacapget.php?x=nothing", 404, ""},
        {"/Ombrix.version", 200, "2.0"},
        {"/zipcodes.txt/../zipcodes.txt", 404, ""},
        {"/%2e%2e/CMakeLists.txt", 404, ""},
        {"/", 404, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const auto reply = get(c.target);
        EXPECT_EQ(reply.first, c.status);
        EXPECT_NE(reply.second.find(c.fragment), std::string::npos) << reply.second;
    }
}

TEST_F(FixtureNwsTest, AlertEntriesLeadToTheirCapDocuments) {
    const struct {
        std::string code;
        std::vector<std::string> events;
    } feeds[] = {{"TXC453", {"Wind Advisory", "Flood Watch"}},
                 {"FLC057", {"Rip Current Statement"}}};
    for (const auto& feed : feeds) {
        SCOPED_TRACE(feed.code);
        const auto reply = get("/cap/wwaatmget.php?x=" + feed.code);
        ASSERT_EQ(reply.first, 200);
        std::vector<std::string> ids;
        for (const std::string& id : allBetween(reply.second, "<entry>", "</entry>")) {
            ids.push_back(allBetween(id, "<id>", "</id>").at(0));
        }
        ASSERT_EQ(ids.size(), feed.events.size());
        for (std::size_t i = 0; i < ids.size(); ++i) {
            ASSERT_EQ(ids[i].rfind(base() + "/cap/wwacapget.php?x=", 0), 0u) << ids[i];
            const auto cap = get(ids[i].substr(base().size()));
            ASSERT_EQ(cap.first, 200);
            EXPECT_NE(cap.second.find("<event>" + feed.events[i] + "</event>"), std::string::npos);
        }
    }
}

TEST_F(FixtureNwsTest, EveryImageItLinksToIsServedAndDecodes) {
    std::vector<std::string> targets;
    for (const std::string zip : {"78701", "80202", "33602"}) {
        const auto lookup = get(kZipLookup + zip);
        const std::string point = allBetween(lookup.second, "<latLonList>", "</latLonList>").at(0);
        const std::size_t comma = point.find(',');
        const auto forecast = get("/MapClick.php?lat=" + point.substr(0, comma) +
                                  "&lon=" + point.substr(comma + 1) + "&FcstType=dwml");
        ASSERT_EQ(forecast.first, 200) << zip;
        for (const std::string& link : allBetween(forecast.second, "<icon-link>", "</icon-link>")) {
            ASSERT_EQ(link.rfind(base(), 0), 0u) << link;
            targets.push_back(link.substr(base().size()));
        }
    }
    for (const std::string station : {"KATT", "KAUS", "KBJC", "KTPF", "KTPA"}) {
        const auto obs = get("/xml/current_obs/" + station + ".xml");
        targets.push_back(
            allBetween(obs.second, "<icon_url_base>", "<").at(0).substr(base().size()) +
            allBetween(obs.second, "<icon_url_name>", "<").at(0));
    }
    for (const std::string site : {"AMA", "FTG", "AMX"}) {
        for (const char* layer :
             {"/ridge/Overlays/Topo/Short/%s_Topo_Short.jpg", "/ridge/RadarImg/NCR/%s_NCR_0.gif",
              "/ridge/Overlays/County/Short/%s_County_Short.gif",
              "/ridge/Overlays/Cities/Short/%s_City_Short.gif",
              "/ridge/Overlays/Highways/Short/%s_Highways_Short.gif",
              "/ridge/Warnings/Short/%s_Warnings_0.gif", "/ridge/Legend/NCR/%s_NCR_Legend_0.gif"}) {
            std::string path = layer;
            path.replace(path.find("%s"), 2, site);
            targets.push_back(path);
        }
    }
    for (const std::string& target : targets) {
        SCOPED_TRACE(target);
        const auto reply = get(target);
        ASSERT_EQ(reply.first, 200);
        QImage image;
        EXPECT_TRUE(image.loadFromData(QByteArray::fromStdString(reply.second)));
        EXPECT_FALSE(image.isNull());
    }
}

// A user who picks one of the fixture's zip codes gets what the location page derives from the
// data files: the alert feed of its county and the observations of its nearest station.
TEST_F(FixtureNwsTest, ItsZipCodesResolveToItsStationsAndFeeds) {
    vpcore::NWSCodeService& codes = vpcore::NWSCodeService::Instance();
    codes.setBasePath(std::string(OMBRIX_SOURCE_DIR) + "/resources");
    vpcore::FileService::Instance().setInstallPath(OMBRIX_SOURCE_DIR);
    const struct {
        std::string zip;
        std::string alertCode;
        std::string station;
        std::string radar;
    } places[] = {{"78701", "TXC453", "KATT", "AMA"},
                  {"80202", "COC031", "KBJC", "FTG"},
                  {"33602", "FLC057", "KTPF", "AMX"}};
    for (const auto& place : places) {
        SCOPED_TRACE(place.zip);
        const auto info = codes.getLocationInfo(place.zip);
        ASSERT_NE(info, nullptr);
        const auto& counties = codes.getStateAlertCodes(info->stateAbbrev);
        const int county = vpcore::NWSCodeService::indexOf(info->countyName, counties);
        ASSERT_GE(county, 0);
        EXPECT_EQ(counties[county].countyId, place.alertCode);

        const auto lookup = get(kZipLookup + place.zip);
        const std::string point = allBetween(lookup.second, "<latLonList>", "</latLonList>").at(0);
        const std::size_t comma = point.find(',');
        const std::pair<float, float> position(std::stof(point.substr(0, comma)),
                                               std::stof(point.substr(comma + 1)));
        float distance = 0.0f;
        EXPECT_EQ(codes.getClosestStation(position, distance).id, place.station);
        EXPECT_EQ(get("/xml/current_obs/" + place.station + ".xml").first, 200);

        std::vector<std::pair<std::string, std::string>> sites;
        vpcore::NWSCodeService::localRadarStations(info->stateAbbrev, sites);
        ASSERT_FALSE(sites.empty());
        EXPECT_EQ(sites.front().first, place.radar);
    }
}

TEST(FixtureNwsCommandLineTest, RefusesBadArgumentsWithUsage) {
    const struct {
        QStringList arguments;
        int exitCode;
    } cases[] = {
        {{}, 2},
        {{"--port"}, 2},
        {{"--port", "http"}, 2},
        {{"--port", "70000"}, 2},
        {{"--port", "0", "--verbose"}, 2},
        {{"--port", "0", "--hostile", "polite"}, 2},
        {{"--port", "0", "--hostile"}, 2},
        {{"--port", "0", "--hostile-path", "/"}, 2},
        // One path and one count for each misbehaviour.
        {{"--port", "0", "--hostile", "stall", "--hostile-path", "/a", "--hostile-path", "/b"}, 2},
        {{"--port", "0", "--root", "/no/such/folder"}, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QProcess process;
        process.start(FIXTURE_NWS_PROGRAM, c.arguments);
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), c.exitCode);
        EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
        EXPECT_FALSE(process.readAllStandardError().isEmpty());
    }
}

// A hostile fixture misbehaves on the requests of its path only, and says so in its log.
TEST(FixtureNwsHostileTest, MisbehavesOnItsPathAndAnswersTheRestAsUsual) {
    const struct {
        QStringList arguments;
        std::string hostileTarget;
        std::string hostileBodyPart;
        std::string usualTarget;
    } cases[] = {
        {{"--hostile", "html"}, "/xml/current_obs/KATT.xml", "<html>", "/Ombrix.version"},
        {{"--hostile", "huge-alerts"},
         "/cap/wwaatmget.php?x=TXC453",
         "number 9999 ",
         "/xml/current_obs/KATT.xml"},
        {{"--hostile", "redirect-file", "--hostile-path", "/images/"},
         "/images/wtf/small/bkn.png",
         "",
         "/xml/current_obs/KATT.xml"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QProcess process;
        process.start(FIXTURE_NWS_PROGRAM, QStringList{"--port", "0"} + c.arguments);
        ASSERT_TRUE(process.waitForStarted(10000));
        ASSERT_TRUE(process.waitForReadyRead(10000));
        const auto match = QRegularExpression("listening on 127\\.0\\.0\\.1:(\\d+)")
                               .match(QString::fromUtf8(process.readLine()));
        ASSERT_TRUE(match.hasMatch());
        httplib::Client client("127.0.0.1", match.captured(1).toInt());
        client.set_read_timeout(20);

        const auto hostile = client.Get(c.hostileTarget);
        const auto usual = client.Get(c.usualTarget);

        ASSERT_TRUE(hostile);
        if (c.hostileBodyPart.empty()) {
            EXPECT_EQ(hostile->status, 302);
            EXPECT_EQ(hostile->get_header_value("Location"), "file:///etc/hostname");
        } else {
            EXPECT_EQ(hostile->status, 200);
            EXPECT_NE(hostile->body.find(c.hostileBodyPart), std::string::npos);
        }
        ASSERT_TRUE(usual);
        EXPECT_EQ(usual->status, 200);
        process.terminate();
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_TRUE(process.readAllStandardOutput().contains(
            "GET " + QByteArray::fromStdString(c.hostileTarget) + " " + c.arguments[1].toUtf8() +
            "\n"));
    }
}

// Several misbehaviours at once, each on its own path or its mode's: the first whose path a
// request starts with answers it.
TEST(FixtureNwsHostileTest, SeveralMisbehavioursEachTakeTheirOwnPath) {
    QProcess process;
    process.start(FIXTURE_NWS_PROGRAM, {"--port", "0", "--hostile", "many-periods", "--hostile",
                                        "stall", "--hostile-path", "/images/many/", "--hostile",
                                        "huge-image", "--hostile", "file-icon"});
    ASSERT_TRUE(process.waitForStarted(10000));
    ASSERT_TRUE(process.waitForReadyRead(10000));
    const auto match = QRegularExpression("listening on 127\\.0\\.0\\.1:(\\d+)")
                           .match(QString::fromUtf8(process.readLine()));
    ASSERT_TRUE(match.hasMatch());
    httplib::Client client("127.0.0.1", match.captured(1).toInt());
    client.set_read_timeout(20);

    const auto forecast = client.Get("/MapClick.php?lat=30.27&lon=-97.74&FcstType=dwml");
    const auto icon = client.Get("/images/wtf/small/bkn.png");
    const auto observation = client.Get("/xml/current_obs/KATT.xml");
    const auto version = client.Get("/Ombrix.version");
    httplib::Client hanging("127.0.0.1", match.captured(1).toInt());
    hanging.set_read_timeout(1);
    const auto stalled = hanging.Get("/images/many/p0.png");

    ASSERT_TRUE(forecast);
    size_t links = 0;
    for (size_t at = forecast->body.find("<icon-link>"); at != std::string::npos;
         at = forecast->body.find("<icon-link>", at + 1)) {
        ++links;
    }
    EXPECT_EQ(links, static_cast<size_t>(testsupport::HostileAnswer::MANY_PERIODS));
    EXPECT_NE(forecast->body.find("/images/many/p1999.png</icon-link>"), std::string::npos);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->body.substr(1, 3), "PNG");
    EXPECT_LT(icon->body.size(), 1u << 20);
    ASSERT_TRUE(observation);
    // A picture of the fixture's own, named by its absolute path.
    EXPECT_NE(observation->body.find("<icon_url_base>file://"), std::string::npos);
    EXPECT_NE(observation->body.find("/images/wtf/medium/</icon_url_base>"), std::string::npos);
    EXPECT_NE(observation->body.find("<icon_url_name>skc.png</icon_url_name>"), std::string::npos);
    ASSERT_TRUE(version);
    EXPECT_EQ(version->status, 200);
    EXPECT_FALSE(stalled);
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
    const QByteArray log = process.readAllStandardOutput();
    EXPECT_TRUE(log.contains("GET /images/many/p0.png stall\n")) << log.toStdString();
    EXPECT_TRUE(log.contains("GET /images/wtf/small/bkn.png huge-image\n")) << log.toStdString();
    EXPECT_TRUE(log.contains("GET /Ombrix.version 200\n")) << log.toStdString();
}

}  // namespace
