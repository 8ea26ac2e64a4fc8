#include <gtest/gtest.h>

#include <QDir>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ExceptionText.h"
#include "LogCapture.h"
#include "NWSCodeServiceTestAccess.h"
#include "TempDir.h"
#include "services/FileService.h"
#include "weather/NWSCodeService.h"
#include "weather/UnsupportedStateException.h"

using vpcore::FileService;
using vpcore::NWSCodeService;
using vpcore::NWSCodeServiceTestAccess;
using vpcore::UnsupportedStateException;
using County = NWSCodeService::CountyAlertCode_t;
using Position = std::pair<float, float>;
using Sites = std::vector<std::pair<std::string, std::string>>;

namespace {

const std::string kFixtureInstall = std::string(OMBRIX_FIXTURE_DIR) + "/codes";
const std::string kFixtureResources = kFixtureInstall + "/resources";
const std::string kRealResources = std::string(OMBRIX_SOURCE_DIR) + "/resources";

// Great-circle distance in miles, in double precision, to check the single-precision search.
double referenceMiles(Position a, Position b) {
    const double rad = 3.14159265358979323846 / 180.0;
    const double dLat = (b.first - a.first) * rad;
    const double dLon = (b.second - a.second) * rad;
    const double h = std::pow(std::sin(dLat / 2), 2) + std::cos(a.first * rad) *
                                                           std::cos(b.first * rad) *
                                                           std::pow(std::sin(dLon / 2), 2);
    return 6371.0 * 2 * std::atan2(std::sqrt(h), std::sqrt(1 - h)) / 1.609344;
}

std::vector<std::string> idsOf(const std::vector<NWSCodeService::Station_t*>& stations) {
    std::vector<std::string> ids;
    for (const NWSCodeService::Station_t* station : stations) {
        ids.push_back(station->id);
    }
    return ids;
}

// Restores the install folder that radar lookups read from.
class InstallPath {
public:
    explicit InstallPath(const std::string& path) { FileService::Instance().setInstallPath(path); }
    ~InstallPath() { FileService::Instance().setInstallPath(""); }
};

}  // namespace

// --- countyCodes.txt ---------------------------------------------------------------------

TEST(NWSCodeServiceCountyCodesTest, ReadsBlocksTrimmedAndSortedByteWise) {
    auto service = NWSCodeServiceTestAccess::create(kFixtureResources);
    service->getStateAlertCodes("TX");

    // The fixture mixes CRLF and LF, holds a blank line and a line of blanks, and lists states
    // and counties out of order.
    const NWSCodeService::CodeTable& codes = service->getCodes();
    ASSERT_EQ(codes.size(), 3u);
    EXPECT_EQ(codes[0].first, "Missouri");
    EXPECT_EQ(codes[1].first, "Texas");
    EXPECT_EQ(codes[2].first, "Virginia");
    std::vector<std::pair<std::string, std::string>> texas;
    for (const County& county : codes[1].second) {
        texas.emplace_back(county.county, county.countyId);
    }
    const std::vector<std::pair<std::string, std::string>> expectedTexas = {
        {"Bexar", "TXC029"}, {"DeWitt", "TXC123"}, {"Travis", "TXC453"}};
    EXPECT_EQ(texas, expectedTexas);
    // Byte order: "St. Louis" before "St. Louis City" before "Ste. Genevieve".
    ASSERT_EQ(codes[0].second.size(), 3u);
    EXPECT_EQ(codes[0].second[0].county, "St. Louis");
    EXPECT_EQ(codes[0].second[1].county, "St. Louis City");
    EXPECT_EQ(codes[0].second[2].county, "Ste. Genevieve");
    EXPECT_EQ(codes[2].second[1].county, "Richmond City");
    EXPECT_EQ(codes[2].second[1].countyId, "VAC760");
}

TEST(NWSCodeServiceCountyCodesTest, StateLinesAndByteOrder) {
    testsupport::TempDir dir;
    dir.writeFile("countyCodes.txt",
                  "\xEF\xBB\xBF"
                  "  Puerto Rico ---\n"
                  "Rincon, PRC117\n"
                  "Guam---, GUC010\n"  // no blank before the hyphens: a county line
                  "Hyphen-Named State ---\n"
                  "lower, XXC002\n"
                  "Upper, XXC001\n");
    auto service = NWSCodeServiceTestAccess::create(dir.path());
    service->getStateAlertCodes("pr");
    const NWSCodeService::CodeTable& codes = service->getCodes();
    ASSERT_EQ(codes.size(), 2u);
    EXPECT_EQ(codes[0].first, "Hyphen");
    ASSERT_EQ(codes[0].second.size(), 2u);
    EXPECT_EQ(codes[0].second[0].county, "Upper");  // upper case sorts first
    EXPECT_EQ(codes[0].second[1].county, "lower");
    EXPECT_EQ(codes[1].first, "Puerto Rico");
    ASSERT_EQ(codes[1].second.size(), 2u);
    EXPECT_EQ(codes[1].second[0].county, "Guam---");
    EXPECT_EQ(codes[1].second[1].county, "Rincon");
}

TEST(NWSCodeServiceCountyCodesTest, BadFilesFailWithTheLineAndLeaveNothingBehind) {
    struct Case {
        std::string content;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"Travis, TXC453\nTexas ---\n",
         "Error parsing line Travis, TXC453 :No previous state line set."},
        {"Texas ---\nBexar, TXC029\nTravis, TXC453, TXC999\n",
         "Error parsing line Travis, TXC453, TXC999 :Expected format is county, countyId."},
        {"Texas ---\nTravis TXC453\n",
         "Error parsing line Travis TXC453 :Expected format is county, countyId."},
        {"Texas ---\n, TXC453\n",
         "Error parsing line , TXC453 :Expected format is county, countyId."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        testsupport::TempDir dir;
        dir.writeFile("countyCodes.txt", c.content);
        auto service = NWSCodeServiceTestAccess::create(dir.path());
        EXPECT_EQ(testsupport::exceptionText<>([&] { service->getStateAlertCodes("tx"); }),
                  c.message);
        EXPECT_TRUE(service->getCodes().empty());

        // Once the file is mended, the next lookup reads it.
        dir.writeFile("countyCodes.txt", "Texas ---\nTravis, TXC453\n");
        ASSERT_EQ(service->getStateAlertCodes("tx").size(), 1u);
        EXPECT_EQ(service->getStateAlertCodes("tx")[0].countyId, "TXC453");
    }
}

TEST(NWSCodeServiceCountyCodesTest, MissingFileIsReportedAndReadOnceItExists) {
    testsupport::TempDir dir;
    auto service = NWSCodeServiceTestAccess::create(dir.path());
    EXPECT_EQ(testsupport::exceptionText<>([&] { service->getStateAlertCodes("tx"); }),
              "Could not open " + dir.path() + "/countyCodes.txt for reading.");
    dir.writeFile("countyCodes.txt", "Texas ---\nTravis, TXC453\n");
    EXPECT_EQ(service->getStateAlertCodes("tx").size(), 1u);
}

TEST(NWSCodeServiceCountyCodesTest, AbbreviationsInAnyCaseAndUnsupportedStates) {
    auto service = NWSCodeServiceTestAccess::create(kFixtureResources);
    const std::vector<County>& upper = service->getStateAlertCodes("TX");
    EXPECT_EQ(&service->getStateAlertCodes("tx"), &upper);
    EXPECT_EQ(&service->getStateAlertCodes("Tx"), &upper);

    struct Case {
        std::string abbrev;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"ZZ", "Unrecognized state abbreviation ZZ"},
        {"", "Unrecognized state abbreviation "},
        {"tx ", "Unrecognized state abbreviation tx "},
        {"MH", "Unrecognized state Marshall Islands"},  // in the table, no block in the file
        {"ak", "Unrecognized state Alaska"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.abbrev);
        std::string message = "<no exception>";
        try {
            service->getStateAlertCodes(c.abbrev);
        } catch (const UnsupportedStateException& e) {
            message = e.what();
        }
        EXPECT_EQ(message, c.message);
    }
}

TEST(NWSCodeServiceCountyCodesTest, LoadsOnceAndLogsBeginAndEnd) {
    auto service = NWSCodeServiceTestAccess::create(kFixtureResources);
    testsupport::LogCapture log;
    service->getStateAlertCodes("tx");
    service->getStateAlertCodes("va");
    EXPECT_EQ(log.count("INFO: NWSCodeService::loadCodes begin ..."), 1);
    EXPECT_EQ(log.count("INFO: NWSCodeService::loadCodes end ..."), 1);
    EXPECT_EQ(log.lines().size(), 2u);
}

TEST(NWSCodeServiceLoadTest, LoadingALoadedTableAgainOnlyWarns) {
    auto service = NWSCodeServiceTestAccess::create(kFixtureResources);
    const std::vector<County>& texas = service->getStateAlertCodes("tx");
    float distance = 0;
    service->getClosestStation({30.0f, -97.0f}, distance);
    const NWSCodeService::Station_t* const first = service->getStationIds().front().get();

    // Mended or not, the files are not read again.
    testsupport::TempDir empty;
    service->setBasePath(empty.path());
    testsupport::LogCapture log;
    NWSCodeServiceTestAccess::loadCodes(*service);
    NWSCodeServiceTestAccess::loadStations(*service);
    const std::vector<std::string> lines = log.lines();
    const std::vector<std::string> expected = {
        "WARN: NWSCodeService::loadCodes Codes are already loaded!",
        "INFO: NWSCodeService::loadStations begin ...",
        "WARN: NWSCodeService::loadStations stations are already loaded!"};
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NE(lines[i].find(expected[i]), std::string::npos) << lines[i];
    }
    EXPECT_EQ(service->getCodes().size(), 3u);
    EXPECT_EQ(&service->getStateAlertCodes("tx"), &texas);
    EXPECT_EQ(service->getStationIds().size(), 9u);
    EXPECT_EQ(service->getStationIds().front().get(), first);
}

// --- indexOf -----------------------------------------------------------------------------

TEST(NWSCodeServiceIndexOfTest, FindsCountiesSpelledTheOtherWay) {
    const std::vector<County> counties = {
        {"City of Bristol", "VAC520"}, {"City of Carson", "NVC510"},
        {"De Witt", "TXC123"},         {"Lower Keys in Monroe", "FLC087"},
        {"McKean", "PAC083"},          {"O'Brien", "IAC141"},
        {"St. Clair", "MIC147"},       {"St. Johns", "FLC109"},
        {"St.Lucie", "FLC111"},        {"Ste. Genevieve", "MOC186"},
        {"Travis", "TXC453"},          {"travis", "TXC999"},
        {"Valdez-Cordova", "AKC261"},
    };
    struct Case {
        std::string name;
        int expected;
    };
    const std::vector<Case> cases = {
        {"Travis", 10},           // 1: exact, not the later lower-case entry
        {"TRAVIS", 10},           // 2: letter case, first match
        {"Carson City", 1},       // 3: "X City" is listed as "City of X"
        {"Saint Clair", 6},       // 4: "Saint" becomes "St."
        {"St Johns", 7},          // 4: "St" becomes "St."
        {"Stlucie", 8},           // 4: "St" becomes "St.", found by letter case
        {"Mc Kean", 4},           // 5: two words become one
        {"Sainte Genevieve", 9},  // 6: attempt 4 makes "St.e Genevieve", the name table fixes it
        {"Obrien", 5},            // 6
        {"Dewitt", 2},            // 6
        {"Monroe", 3},            // 6
        {"Bristol", 0},           // 6
        {"Valdez Cordova", 12},   // 6
        {"Nowhere", -1},         {"", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NWSCodeService::indexOf(c.name, counties), c.expected);
    }
    EXPECT_EQ(NWSCodeService::indexOf("Travis", {}), -1);
    // A county listed under its own name wins over the name table.
    const std::vector<County> withMonroe = {{"Lower Keys in Monroe", "FLC087"},
                                            {"Monroe", "FLC999"}};
    EXPECT_EQ(NWSCodeService::indexOf("Monroe", withMonroe), 1);
}

// --- zipcodes.csv ------------------------------------------------------------------------

TEST(NWSCodeServiceZipCodesTest, ExactZipCodesGiveCopiesOfTrimmedRecords) {
    auto service = NWSCodeServiceTestAccess::create(kFixtureResources);
    testsupport::LogCapture log;
    std::unique_ptr<NWSCodeService::LocationInfo_t> info = service->getLocationInfo("78205");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->zipCode, "78205");
    EXPECT_EQ(info->city, "San Antonio");
    EXPECT_EQ(info->stateAbbrev, "TX");
    EXPECT_EQ(info->countyName, "Bexar");
    info->city = "changed";
    EXPECT_EQ(service->getLocationInfo("78205")->city, "San Antonio");

    EXPECT_EQ(service->getLocationInfo(" 78701"), nullptr);
    EXPECT_EQ(service->getLocationInfo("7870"), nullptr);
    EXPECT_EQ(service->getLocationInfo("00000"), nullptr);
    EXPECT_EQ(service->getLocationInfo("96960")->stateAbbrev, "MH");
    EXPECT_TRUE(log.text().empty());
}

TEST(NWSCodeServiceZipCodesTest, LaterLineOfTheSameZipCodeWins) {
    testsupport::TempDir dir;
    dir.writeFile("zipcodes.csv", "78701,Austin,TX,Travis\r\n\r\n78701,Austin City,TX,Travis\r\n");
    auto service = NWSCodeServiceTestAccess::create(dir.path());
    EXPECT_EQ(service->getLocationInfo("78701")->city, "Austin City");
}

TEST(NWSCodeServiceZipCodesTest, BadLinesFailWithTwoLineMessageAndLeaveNothingBehind) {
    const std::vector<std::string> badLines = {
        "78701,,TX,Travis",  // an empty field drops out, leaving three pieces
        "78701,Austin,TX",
        "78701,Austin,TX,Travis,Extra",
        "78701 Austin TX Travis",
    };
    for (const std::string& bad : badLines) {
        SCOPED_TRACE(bad);
        testsupport::TempDir dir;
        dir.writeFile("zipcodes.csv", "78205,San Antonio,TX,Bexar\n" + bad + "\n");
        auto service = NWSCodeServiceTestAccess::create(dir.path());
        EXPECT_EQ(
            testsupport::exceptionText<>([&] { service->getLocationInfo("78205"); }),
            "Error parsing line " + bad + "\nExpecting zipcode, city, state abbrev, county name");

        dir.writeFile("zipcodes.csv", "78205,San Antonio,TX,Bexar\n");
        EXPECT_NE(service->getLocationInfo("78205"), nullptr);
    }
}

TEST(NWSCodeServiceZipCodesTest, MissingFileIsReported) {
    testsupport::TempDir dir;
    auto service = NWSCodeServiceTestAccess::create(dir.path());
    EXPECT_EQ(testsupport::exceptionText<>([&] { service->getLocationInfo("78701"); }),
              "Could not open " + dir.path() + "/zipcodes.csv for reading.");
}

// --- NWS_Current_Conditions_Codes.xml ----------------------------------------------------

TEST(NWSCodeServiceStationsTest, ReadsStationsAtAnyDepthAndSkipsNumberedEntries) {
    testsupport::TempDir dir;
    dir.writeFile("NWS_Current_Conditions_Codes.xml",
                  "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
                  "<wx_station_index>\r\n"
                  " <station><station_id> KAUS </station_id>\n"
                  "  <station_name>Austin - Bergstrom</station_name>\n"
                  "  <latitude> 30.19444 </latitude><longitude>-97.67</longitude></station>\n"
                  " <station><station_id>B1</station_id><station_name>42001 - Buoy"
                  "</station_name><latitude>25.9</latitude><longitude>-89.7</longitude></station>\n"
                  " <station><station_id>B2</station_id><station_name> - Nameless"
                  "</station_name><latitude>1</latitude><longitude>1</longitude></station>\n"
                  " <region><state><station><station_id>TJSJ</station_id>"
                  "<station_name>San Juan, Luis Mu\xF1oz Mar\xEDn</station_name>"
                  "<latitude>NA</latitude></station></state></region>\n"
                  " <station><station_name>No id</station_name><latitude>40</latitude>"
                  "<longitude>-100</longitude></station>\n"
                  "</wx_station_index>\n");
    auto service = NWSCodeServiceTestAccess::create(dir.path());
    testsupport::LogCapture log;
    float distance = -1;
    service->getClosestStation({30.0f, -97.0f}, distance);

    const NWSCodeService::StationList& stations = service->getStationIds();
    ASSERT_EQ(stations.size(), 3u);
    EXPECT_EQ(stations[0]->id, "KAUS");
    EXPECT_EQ(stations[0]->name, "Austin - Bergstrom");
    EXPECT_EQ(stations[0]->position, Position(30.19444f, -97.67f));
    EXPECT_EQ(stations[1]->id, "TJSJ");
    EXPECT_EQ(stations[1]->name, "San Juan, Luis Mu\u00F1oz Mar\u00EDn");
    EXPECT_EQ(stations[1]->position, Position(0.0f, 0.0f));  // "NA" and a missing longitude
    EXPECT_EQ(stations[2]->id, "");
    EXPECT_EQ(stations[2]->position, Position(40.0f, -100.0f));

    const std::vector<std::string> expectedLog = {"INFO: NWSCodeService::loadStations begin ...",
                                                  "INFO: 3 stations loaded.",
                                                  "INFO: NWSCodeService::loadStations end ..."};
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), expectedLog.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NE(lines[i].find(expectedLog[i]), std::string::npos) << lines[i];
    }
}

TEST(NWSCodeServiceStationsTest, UnreadableOrEmptyStationFilesAreClearErrors) {
    struct Case {
        const char* content;  // null: no file
        std::string message;  // % stands for the folder
        bool readable;
    };
    const std::vector<Case> cases = {
        {nullptr, "Could not open %/NWS_Current_Conditions_Codes.xml for reading.", false},
        {"<wx_station_index><station>",
         "Could not set XML content from file %/NWS_Current_Conditions_Codes.xml", false},
        {"", "Could not set XML content from file %/NWS_Current_Conditions_Codes.xml", false},
        {"<wx_station_index/>",
         "No observation station near 30, -97 in %/NWS_Current_Conditions_Codes.xml", true},
        {"<wx_station_index><station><station_name>1 - Buoy</station_name></station>"
         "</wx_station_index>",
         "No observation station near 30, -97 in %/NWS_Current_Conditions_Codes.xml", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        testsupport::TempDir dir;
        if (c.content != nullptr) {
            dir.writeFile("NWS_Current_Conditions_Codes.xml", c.content);
        }
        std::string expected = c.message;
        expected.replace(expected.find('%'), 1, dir.path());
        auto service = NWSCodeServiceTestAccess::create(dir.path());
        float distance = -1;
        EXPECT_EQ(testsupport::exceptionText<>([&] {
                      service->getClosestStation({30.0f, -97.0f}, distance);
                  }),
                  expected);
        EXPECT_EQ(distance, -1);
        if (c.readable) {
            std::vector<NWSCodeService::Station_t*> stations;
            std::vector<float> distances;
            service->getClosestStations({30.0f, -97.0f}, 5, stations, distances);
            EXPECT_TRUE(stations.empty());
            EXPECT_TRUE(distances.empty());
        }
    }
}

// --- closest stations --------------------------------------------------------------------

TEST(NWSCodeServiceClosestStationsTest, ClosestFirstInMilesAppendedToTheLists) {
    auto service = NWSCodeServiceTestAccess::create(kFixtureResources);
    const Position capitol(30.2747f, -97.7404f);
    std::vector<NWSCodeService::Station_t*> stations = {nullptr};
    std::vector<float> distances = {-1.0f};
    service->getClosestStations(capitol, 5, stations, distances);

    ASSERT_EQ(stations.size(), 6u);
    ASSERT_EQ(distances.size(), 6u);
    EXPECT_EQ(stations[0], nullptr);
    EXPECT_EQ(distances[0], -1.0f);
    stations.erase(stations.begin());
    distances.erase(distances.begin());
    const std::vector<std::string> expected = {"KATT", "KAUS", "KEDC", "KHYI", "KGTU"};
    EXPECT_EQ(idsOf(stations), expected);
    for (std::size_t i = 0; i < stations.size(); ++i) {
        SCOPED_TRACE(stations[i]->id);
        EXPECT_NEAR(distances[i], referenceMiles(capitol, stations[i]->position), 0.01);
        if (i > 0) {
            EXPECT_LT(distances[i - 1], distances[i]);
        }
    }

    float distance = -1;
    const NWSCodeService::Station_t& closest = service->getClosestStation(capitol, distance);
    EXPECT_EQ(&closest, stations[0]);
    EXPECT_EQ(distance, distances[0]);
}

TEST(NWSCodeServiceClosestStationsTest, StationPositionGivesDistanceZero) {
    auto service = NWSCodeServiceTestAccess::create(kFixtureResources);
    float distance = -1;
    EXPECT_EQ(service->getClosestStation({29.54417f, -98.48389f}, distance).id, "KSAT");
    EXPECT_EQ(distance, 0.0f);
}

TEST(NWSCodeServiceClosestStationsTest, AStationAtTheDistanceOfAnEarlierOneIsNeverReturned) {
    auto service = NWSCodeServiceTestAccess::create(kFixtureResources);
    for (const Position& position :
         {Position(31.0f, -97.0f), Position(31.5f, -97.0f), Position(30.2747f, -97.7404f)}) {
        SCOPED_TRACE(position.first);
        std::vector<NWSCodeService::Station_t*> stations;
        std::vector<float> distances;
        service->getClosestStations(position, 100, stations, distances);
        const std::vector<std::string> ids = idsOf(stations);
        EXPECT_EQ(ids.size(), 8u);
        EXPECT_NE(std::find(ids.begin(), ids.end(), "KDUP"), ids.end());
        EXPECT_EQ(std::find(ids.begin(), ids.end(), "KTWN"), ids.end());
    }
    float distance = -1;
    EXPECT_EQ(service->getClosestStation({31.0f, -97.0f}, distance).id, "KDUP");
}

TEST(NWSCodeServiceClosestStationsTest, CountBelowOneStillGivesTheClosest) {
    auto service = NWSCodeServiceTestAccess::create(kFixtureResources);
    for (int count : {0, -3}) {
        SCOPED_TRACE(count);
        std::vector<NWSCodeService::Station_t*> stations;
        std::vector<float> distances;
        service->getClosestStations({29.6f, -95.3f}, count, stations, distances);
        EXPECT_EQ(idsOf(stations), std::vector<std::string>{"KHOU"});
        EXPECT_EQ(distances.size(), 1u);
    }
}

TEST(NWSCodeServiceClosestStationsTest, PositionThatIsNotANumberFindsNoStation) {
    auto service = NWSCodeServiceTestAccess::create(kFixtureResources);
    float distance = -1;
    const std::string message = testsupport::exceptionText<>([&] {
        service->getClosestStation({std::nanf(""), -97.0f}, distance);
    });
    EXPECT_EQ(message.rfind("No observation station near nan, -97", 0), 0u) << message;
}

// --- radar_ids.xml -----------------------------------------------------------------------

TEST(NWSCodeServiceRadarTest, SitesOfAStateAreAppendedInFileOrder) {
    InstallPath install(kFixtureInstall);
    testsupport::LogCapture log;
    Sites sites = {{"old", "entry"}};
    NWSCodeService::localRadarStations("tX", sites);
    const Sites expected = {
        {"old", "entry"}, {"EWX", "Austin/San Antonio"}, {"FWS", "Dallas/Fort Worth"}};
    EXPECT_EQ(sites, expected);

    Sites virginia;
    NWSCodeService::localRadarStations("VA", virginia);
    EXPECT_EQ(virginia, (Sites{{"AKQ", "Norfolk - Richmond"}}));

    Sites samoa;
    NWSCodeService::localRadarStations("as", samoa);
    EXPECT_TRUE(samoa.empty());
    EXPECT_TRUE(log.text().empty());
}

TEST(NWSCodeServiceRadarTest, MissingStatesAndBadOptionsAreLogged) {
    struct Case {
        std::string install;
        std::string abbrev;
        Sites expected;
        std::string logLine;
    };
    const std::vector<Case> cases = {
        {kFixtureInstall,
         "ZZ",
         {},
         "ERROR: NWSCodeService::localRadarStations - could not find state abbrev zz"},
        {kFixtureInstall,
         "me",
         {},
         "ERROR: NWSCodeService::localRadarStations - could not find state node for state Maine"},
        {kFixtureInstall,
         "GU",
         {{"GUA", "Andersen AFB"}},
         "ERROR: NWSCodeService::localRadarStations - skipping radar option 'GUA' of state Guam"},
        {"/nonexistent",
         "TX",
         {},
         "ERROR: NWSCodeService::localRadarStations - could not find state node for state Texas"},
        {kFixtureResources,
         "TX",
         {},  // a folder with no resources/radar_ids.xml
         "ERROR: NWSCodeService::localRadarStations - could not find state node for state Texas"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.abbrev + " in " + c.install);
        InstallPath install(c.install);
        testsupport::LogCapture log;
        Sites sites;
        NWSCodeService::localRadarStations(c.abbrev, sites);
        EXPECT_EQ(sites, c.expected);
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_NE(log.lines()[0].find(c.logLine), std::string::npos) << log.lines()[0];
    }
}

TEST(NWSCodeServiceRadarTest, UnparseableFileIsAMissingState) {
    testsupport::TempDir dir;
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir.filePath("resources"))));
    dir.writeFile("resources/radar_ids.xml", "<select><optgroup label=\"Texas\">");
    InstallPath install(dir.path());
    testsupport::LogCapture log;
    Sites sites;
    NWSCodeService::localRadarStations("tx", sites);
    EXPECT_TRUE(sites.empty());
    EXPECT_TRUE(log.contains("could not find state node for state Texas"));
}

// --- first loads from several threads ----------------------------------------------------

TEST(NWSCodeServiceConcurrencyTest, ThreadsThatStartTheFirstLoadsTogetherLoadEachTableOnce) {
    auto service = NWSCodeServiceTestAccess::create(kRealResources);
    testsupport::LogCapture log;
    const int threadCount = 4;
    std::atomic<int> ready{0};
    std::vector<const void*> codeLists(threadCount);
    std::vector<std::string> counties(threadCount);
    std::vector<std::string> stationIds(threadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (ready.load() < threadCount) {
                std::this_thread::yield();
            }
            // Each thread takes the tables in a different order, so that every table sees
            // first loads from several threads at once.
            std::vector<std::function<void()>> calls = {
                [&] { codeLists[t] = &service->getStateAlertCodes("tx"); },
                [&] { counties[t] = service->getLocationInfo("78701")->countyName; },
                [&] {
                    float distance = 0;
                    stationIds[t] = service->getClosestStation({30.2747f, -97.7404f}, distance).id;
                },
            };
            for (int i = 0; i < 3; ++i) {
                calls[(i + t) % 3]();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < threadCount; ++t) {
        EXPECT_EQ(codeLists[t], codeLists[0]);
        EXPECT_EQ(counties[t], "Travis");
        EXPECT_EQ(stationIds[t], "KATT");
    }
    EXPECT_EQ(log.count("NWSCodeService::loadCodes begin ..."), 1);
    EXPECT_EQ(log.count(" stations loaded."), 1);
    // A thread that waited for another's load finds the table ready: no second load begins.
    EXPECT_EQ(log.count("NWSCodeService::loadStations begin ..."), 1);
    EXPECT_EQ(log.count("WARN"), 0) << log.text();
    EXPECT_EQ(service->getStationIds().size(), 1740u);
}

// --- the installed data files --------------------------------------------------------------

TEST(NWSCodeServiceRealDataTest, ZipCodesResolveToCountyAlertCodes) {
    auto service = NWSCodeServiceTestAccess::create(kRealResources);
    struct Case {
        std::string zip;
        std::string city;
        std::string state;
        std::string county;
        std::string alertCode;
    };
    const std::vector<Case> cases = {
        {"78701", "Austin", "TX", "Travis", "TXC453"},
        {"10001", "New York", "NY", "New York", "NYC061"},
        {"90210", "Beverly Hills", "CA", "Los Angeles", "CAC037"},
        {"23219", "Richmond", "VA", "Richmond City", "VAC760"},
        {"21201", "Baltimore", "MD", "Baltimore City", "MDC510"},
        {"63101", "Saint Louis", "MO", "St. Louis City", "MOC510"},
        {"88001", "Las Cruces", "NM", "Dona Ana", "NMC013"},
        {"06103", "Hartford", "CT", "Hartford", "CTC003"},
        {"06901", "Stamford", "CT", "Fairfield", "CTC001"},
        {"99686", "Valdez", "AK", "Chugach", "AKC063"},
        {"99689", "Yakutat", "AK", "Yakutat", "AKC282"},
        {"20001", "Washington", "DC", "District of Columbia", "DCC001"},
        {"00601", "Adjuntas", "PR", "Adjuntas", "PRC001"},
        {"00802", "St Thomas", "VI", "St. Thomas", "VIC030"},
        {"96910", "Hagatna", "GU", "Guam", "GUC010"},
        {"96799", "Pago Pago", "AS", "Western", "ASC050"},
        {"96813", "Honolulu", "HI", "Honolulu", "HIC003"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zip);
        std::unique_ptr<NWSCodeService::LocationInfo_t> info = service->getLocationInfo(c.zip);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->city, c.city);
        EXPECT_EQ(info->stateAbbrev, c.state);
        EXPECT_EQ(info->countyName, c.county);
        const std::vector<County>& codes = service->getStateAlertCodes(info->stateAbbrev);
        const int index = NWSCodeService::indexOf(info->countyName, codes);
        ASSERT_GE(index, 0);
        EXPECT_EQ(codes[index].countyId, c.alertCode);
    }
    EXPECT_EQ(service->getLocationInfo("09001"), nullptr);  // military mail is not a place
}

TEST(NWSCodeServiceRealDataTest, EveryCountyOfTheZipTableIsFoundInItsState) {
    auto service = NWSCodeServiceTestAccess::create(kRealResources);
    std::ifstream in(kRealResources + "/zipcodes.csv");
    ASSERT_TRUE(in.is_open());
    std::set<std::pair<std::string, std::string>> counties;  // state, county
    std::string line;
    int zips = 0;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::istringstream fieldStream(line);
        for (std::string field; std::getline(fieldStream, field, ',');) {
            fields.push_back(field);
        }
        ASSERT_EQ(fields.size(), 4u) << line;
        ASSERT_NE(service->getLocationInfo(fields[0]), nullptr) << line;
        counties.insert({fields[2], fields[3]});
        ++zips;
    }

    int notFound = 0;
    std::set<std::string> statesWithoutCodes;
    for (const auto& county : counties) {
        try {
            const std::vector<County>& codes = service->getStateAlertCodes(county.first);
            const int index = NWSCodeService::indexOf(county.second, codes);
            if (index < 0 || codes[index].county != county.second) {
                ++notFound;
                ADD_FAILURE() << county.first << " " << county.second;
            }
        } catch (const UnsupportedStateException&) {
            statesWithoutCodes.insert(county.first);
        }
    }
    std::cout << zips << " zip codes, " << counties.size() << " counties, " << notFound
              << " not found in countyCodes.txt\n";
    EXPECT_GT(zips, 41000);
    EXPECT_EQ(notFound, 0);
    // The Marshall Islands stand in the state table without counties; the Northern Mariana
    // Islands have counties but no row in the state table.
    EXPECT_EQ(statesWithoutCodes, (std::set<std::string>{"MH", "MP"}));
}

TEST(NWSCodeServiceRealDataTest, CountyTableCoversStatesAndTerritories) {
    auto service = NWSCodeServiceTestAccess::create(kRealResources);
    service->getStateAlertCodes("tx");
    const NWSCodeService::CodeTable& codes = service->getCodes();
    EXPECT_EQ(codes.size(), 56u);
    std::size_t total = 0;
    for (const auto& state : codes) {
        EXPECT_FALSE(state.second.empty()) << state.first;
        total += state.second.size();
    }
    EXPECT_EQ(total, 3232u);
    EXPECT_EQ(service->getStateAlertCodes("tx").size(), 254u);

    std::vector<std::string> connecticut;
    for (const County& county : service->getStateAlertCodes("ct")) {
        connecticut.push_back(county.countyId);
    }
    EXPECT_EQ(connecticut, (std::vector<std::string>{"CTC001", "CTC003", "CTC005", "CTC007",
                                                     "CTC009", "CTC011", "CTC013", "CTC015"}));
    const std::vector<County>& alaska = service->getStateAlertCodes("ak");
    EXPECT_GE(NWSCodeService::indexOf("Copper River", alaska), 0);
    EXPECT_EQ(NWSCodeService::indexOf("Valdez-Cordova", alaska), -1);
}

TEST(NWSCodeServiceRealDataTest, NearestStationsOfKnownPlaces) {
    auto service = NWSCodeServiceTestAccess::create(kRealResources);
    struct Case {
        const char* place;
        Position position;
        std::string station;
        float miles;
    };
    const std::vector<Case> cases = {
        {"Texas Capitol", {30.2747f, -97.7404f}, "KATT", 3.3f},
        {"Times Square", {40.758f, -73.9855f}, "KNYC", 2.0f},
        {"Downtown Anchorage", {61.2181f, -149.9003f}, "PAMR", 1.7f},
        {"Downtown Boise", {43.615f, -116.2023f}, "KBOI", 3.9f},
        {"Old San Juan", {18.4655f, -66.1057f}, "TJSJ", 7.0f},
        {"Hagatna", {13.4757f, 144.7489f}, "PGUM", 3.5f},
        {"Pago Pago", {-14.2756f, -170.702f}, "NSTU", 4.1f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.place);
        float distance = -1;
        EXPECT_EQ(service->getClosestStation(c.position, distance).id, c.station);
        EXPECT_NEAR(distance, c.miles, 0.1);
    }
}

TEST(NWSCodeServiceRealDataTest, RadarSitesOfEveryStateAndTerritory) {
    InstallPath install(OMBRIX_SOURCE_DIR);
    const std::vector<std::string> states = {
        "AL", "AK", "AZ", "AR", "CA", "CO", "CT", "DE", "DC", "FL", "GA", "HI", "ID", "IL",
        "IN", "IA", "KS", "KY", "LA", "ME", "MD", "MA", "MI", "MN", "MS", "MO", "MT", "NE",
        "NV", "NH", "NJ", "NM", "NY", "NC", "ND", "OH", "OK", "OR", "PA", "RI", "SC", "SD",
        "TN", "TX", "UT", "VT", "VA", "WA", "WV", "WI", "WY", "PR", "GU", "VI"};
    testsupport::LogCapture log;
    for (const std::string& state : states) {
        SCOPED_TRACE(state);
        Sites sites;
        NWSCodeService::localRadarStations(state, sites);
        EXPECT_FALSE(sites.empty());
        for (const auto& site : sites) {
            EXPECT_EQ(site.first.size(), 3u) << site.first;
            EXPECT_FALSE(site.second.empty());
        }
    }
    EXPECT_TRUE(log.text().empty()) << log.text();
    Sites texas;
    NWSCodeService::localRadarStations("tx", texas);
    EXPECT_EQ(texas.size(), 13u);
    EXPECT_NE(std::find(texas.begin(), texas.end(),
                        std::make_pair(std::string("EWX"), std::string("Austin/San Antonio"))),
              texas.end());
}

TEST(NWSCodeServiceTest, InstanceIsOnePerProcess) {
    EXPECT_EQ(&NWSCodeService::Instance(), &NWSCodeService::Instance());
}
