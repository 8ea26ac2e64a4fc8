#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QString>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FullDisk.h"
#include "HttpTestServer.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "services/FileService.h"
#include "weather/CoordsLookup.h"
#include "weather/GlobalPositionService.h"

using testsupport::HttpTestServer;
using testsupport::LogCapture;
using vpcore::CoordsLookup;
using vpcore::FileService;
using vpcore::GlobalPositionService;

namespace {

const std::string kLookupPath =
    "/forecasts/xml/sample_products/browser_interface/ndfdXMLclient.php?listZipCodeList=";

typedef std::pair<float, float> Position;

class GlobalPositionServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_FETCH_TESTS_UNDER_TSAN();
        previousDataPath = FileService::Instance().getApplicationDataPath();
        FileService::Instance().setApplicationDataPath(dataDir.path() + "/");
        qputenv("OMBRIX_NWS_HOST", server.host().c_str());
    }
    void TearDown() override {
        FileService::Instance().setApplicationDataPath(previousDataPath);
        qunsetenv("OMBRIX_NWS_HOST");
    }

    std::string cache() const { return testsupport::readFile(dataDir.filePath("CoordsCache.db")); }
    bool cacheExists() const { return QFile::exists(QString::fromStdString(cachePath())); }
    std::string cachePath() const { return dataDir.filePath("CoordsCache.db"); }

    testsupport::TempDir dataDir;
    HttpTestServer server;
    std::string previousDataPath;
};

}  // namespace

TEST_F(GlobalPositionServiceTest, FirstLookupAsksTheServiceAndCachesSecondReadsTheCache) {
    server.addRoute(kLookupPath + "65804", HttpTestServer::fixture("position/zip_65804.xml"));
    LogCapture log;

    const std::unique_ptr<Position> first = GlobalPositionService::lookupPosition("65804");

    ASSERT_TRUE(first);
    EXPECT_EQ(*first, Position(37.1962f, -93.2861f));
    EXPECT_EQ(server.requestCount(kLookupPath + "65804"), 1);
    // No cache yet is the normal first run, not an error.
    EXPECT_TRUE(log.contains("INFO: No zip code coords cache yet at " + cachePath() + "\n"))
        << log.text();
    EXPECT_EQ(log.count("ERROR"), 0) << log.text();
    EXPECT_EQ(cache(), "65804,37.1962 -93.2861\n");

    log.clear();
    const std::unique_ptr<Position> second = GlobalPositionService::lookupPosition("65804");

    ASSERT_TRUE(second);
    EXPECT_EQ(*second, *first);
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_TRUE(log.contains("INFO: Zip code coords loaded from cache - 37.1962,-93.2861\n"))
        << log.text();
    EXPECT_EQ(log.count("ERROR"), 0) << log.text();
    EXPECT_EQ(cache(), "65804,37.1962 -93.2861\n");
}

TEST_F(GlobalPositionServiceTest, FailedLookupGivesNoPositionAndWritesNothing) {
    HttpTestServer closed;
    const std::string closedHost = closed.host();
    closed.stop();
    server.addRoute(kLookupPath + "00000", HttpTestServer::fixture("position/zip_unknown.xml"));
    server.addRoute(kLookupPath + "11111",
                    HttpTestServer::ok("<?xml version='1.0'?><error><h2>ERROR</h2><pre>No data "
                                       "for this zip code</pre></error>"));
    server.addRoute(
        kLookupPath + "22222",
        HttpTestServer::ok("<html><body>Service unavailable<br></body></html>", "text/html"));
    struct Case {
        const char* name;
        std::string host;
        std::string zip;
        std::string reason;  // what follows "...zipcode <zip>: "
    };
    const std::vector<Case> cases = {
        {"unreachable host", closedHost, "65804", "Error retrieving document: "},
        {"unknown zip code: a lone comma", server.host(), "00000",
         "latLonList \",\" is not a latitude,longitude pair"},
        {"error document", server.host(), "11111", "the reply has no latLonList"},
        {"HTML page", server.host(), "22222", "Error parsing document: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qputenv("OMBRIX_NWS_HOST", c.host.c_str());
        LogCapture log;

        EXPECT_FALSE(GlobalPositionService::lookupPosition(c.zip));

        EXPECT_TRUE(
            log.contains("ERROR: Unable to retrieve coords for zipcode " + c.zip + ": " + c.reason))
            << log.text();
        EXPECT_FALSE(cacheExists());
    }
}

TEST_F(GlobalPositionServiceTest, CacheLinesFirstGoodMatchWinsAndBadLinesAreSkipped) {
    dataDir.writeFile("CoordsCache.db",
                      "garbage without a comma\r\n"
                      "\n"
                      "65804,abc def\r\n"
                      "65804,37.5\n"
                      "65804,91.0 -93.0\n"
                      "10001,40.7484 -73.9967\r\n"
                      "   \n"
                      "65804,37.2 -93.3\n"
                      "65804,1 1\n"
                      "78701,broken");  // no line end after the last line
    server.addRoute(kLookupPath + "78701", HttpTestServer::ok("<dwml><latLonList>30.2711,-97.7437"
                                                              "</latLonList></dwml>"));
    struct Case {
        std::string zip;
        Position position;
        int requests;  // made by this lookup
        int skipped;   // malformed lines passed on the way
    };
    const std::vector<Case> cases = {
        {"65804", {37.2f, -93.3f}, 0, 4},
        {"10001", {40.7484f, -73.9967f}, 0, 1},  // other zips' coordinates are not read
        {"78701", {30.2711f, -97.7437f}, 1, 2},  // only a broken line: asked and appended
        {"78701", {30.2711f, -97.7437f}, 0, 1},  // the unfinished line was cut off
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zip);
        const int before = server.requestCount();
        LogCapture log;

        const std::unique_ptr<Position> position = GlobalPositionService::lookupPosition(c.zip);

        ASSERT_TRUE(position);
        EXPECT_EQ(*position, c.position);
        EXPECT_EQ(server.requestCount() - before, c.requests);
        EXPECT_EQ(log.count("WARN: Skipping malformed zip code coords cache line: "), c.skipped)
            << log.text();
        EXPECT_EQ(log.count("ERROR"), 0) << log.text();
    }
    const std::string text = cache();
    EXPECT_EQ(text.substr(text.size() - std::string("65804,1 1\n78701,30.2711 -97.7437\n").size()),
              "65804,1 1\n78701,30.2711 -97.7437\n");
}

// A full disk in the middle of an append (the file may grow by a few bytes only) leaves no
// part of the record behind; the next lookup asks the network again and its record is whole.
// A torn record left by an earlier version (or a power cut), such as "80202,30.2672 -9"
// without its line end, is never read as a position, and is cut off by the next append.
TEST_F(GlobalPositionServiceTest, AFailedAppendLeavesNoPartOfTheRecordAndATornOneIsNeverUsed) {
    server.addRoute(kLookupPath + "80202", HttpTestServer::ok("<dwml><latLonList>39.7456,-104.992"
                                                              "</latLonList></dwml>"));
    const std::string kept = "65804,37.1962 -93.2861\n";
    for (const std::size_t room : {std::size_t(0), std::size_t(5), std::size_t(15)}) {
        SCOPED_TRACE("room for " + std::to_string(room) + " bytes");
        dataDir.writeFile("CoordsCache.db", kept);
        std::string cacheError;
        {
            testsupport::FullDisk disk(kept.size() + room);
            ASSERT_TRUE(GlobalPositionService::lookupPosition("80202", cacheError));
        }
        EXPECT_EQ(cacheError, cachePath() + ": File too large");
        EXPECT_EQ(cache(), kept);
    }

    dataDir.writeFile("CoordsCache.db", kept + "80202,30.2672 -9");
    LogCapture log;
    const int before = server.requestCount();
    const std::unique_ptr<Position> position = GlobalPositionService::lookupPosition("80202");
    ASSERT_TRUE(position);
    EXPECT_EQ(*position, Position(39.7456f, -104.992f));
    EXPECT_EQ(server.requestCount() - before, 1);
    EXPECT_FALSE(log.contains("loaded from cache")) << log.text();
    EXPECT_EQ(cache(), kept + "80202,39.7456 -104.992\n");
}

// A FIFO in place of the cache is neither read nor written (either would wait for good for a
// writer or a reader): the lookup asks the network and says why the cache was not used.
TEST_F(GlobalPositionServiceTest, AFifoInPlaceOfTheCacheIsLeftAlone) {
    server.addRoute(kLookupPath + "80202", HttpTestServer::ok("<dwml><latLonList>39.7456,-104.992"
                                                              "</latLonList></dwml>"));
    ASSERT_EQ(::mkfifo(cachePath().c_str(), 0644), 0);
    LogCapture log;
    std::string cacheError;
    const std::unique_ptr<Position> position =
        GlobalPositionService::lookupPosition("80202", cacheError);
    ASSERT_TRUE(position);
    EXPECT_EQ(cacheError, cachePath() + ": it is not a regular file");
    EXPECT_TRUE(log.contains("ERROR: Unable to read from zip code coords cache " + cachePath() +
                             ": it is not a regular file"))
        << log.text();
    struct stat info {};
    ASSERT_EQ(::stat(cachePath().c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(GlobalPositionServiceTest, NotAZipCodeIsNeitherAskedNorCached) {
    for (const std::string zip : {"", "65804,1 1", "658\n04", "65804&x=1"}) {
        SCOPED_TRACE(zip);
        LogCapture log;
        EXPECT_FALSE(GlobalPositionService::lookupPosition(zip));
        EXPECT_TRUE(log.contains("ERROR: Not a zip code: \"" + zip + "\"")) << log.text();
    }
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_FALSE(cacheExists());
}

TEST(CoordsLookupTest, LatLonListMustHoldTwoNumbersInRange) {
    struct Case {
        const char* text;
        bool valid;
        Position position;
    };
    const std::vector<Case> cases = {
        {"37.1962,-93.2861", true, {37.1962f, -93.2861f}},
        {"\n  19.7, -155.08 \n", true, {19.7f, -155.08f}},
        {"-14.27,-170.7", true, {-14.27f, -170.7f}},
        {"37.1962", false, {}},
        {"", false, {}},
        {",", false, {}},
        {"abc,def", false, {}},
        {"37.1962,", false, {}},
        {"NA,-93.2861", false, {}},
        {"37.1,-93.2 38.0,-90.0", false, {}},
        {"37.1,-93.2,5", false, {}},
        {"91.0,-93.0", false, {}},
        {"37.0,-181.0", false, {}},
        {"nan,-93.0", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const std::unique_ptr<Position> position =
            CoordsLookup::parseLatLonList(QString::fromUtf8(c.text), error);
        ASSERT_EQ(static_cast<bool>(position), c.valid) << error;
        if (c.valid) {
            EXPECT_EQ(*position, c.position);
            EXPECT_TRUE(error.empty());
        } else {
            EXPECT_EQ(error, "latLonList \"" + std::string(c.text) +
                                 "\" is not a latitude,longitude pair");
        }
    }
}

TEST_F(GlobalPositionServiceTest, PositionIsGivenEvenWhenTheCacheCannotBeWritten) {
    server.addRoute(kLookupPath + "65804", HttpTestServer::fixture("position/zip_65804.xml"));
    FileService::Instance().setApplicationDataPath(dataDir.filePath("no such folder") + "/");
    LogCapture log;

    const std::unique_ptr<Position> position = GlobalPositionService::lookupPosition("65804");

    ASSERT_TRUE(position);
    EXPECT_EQ(*position, Position(37.1962f, -93.2861f));
    EXPECT_TRUE(log.contains("ERROR: Unable to cache zip code coords to disk\n")) << log.text();
}

// A cache that cannot take the new line, for real: on a full disk (here: no file may grow)
// and under a "folder" that is a plain file. The lookup still gives the position; the caller
// learns which file failed and why; the log has one ERROR line and the cache keeps its lines.
TEST_F(GlobalPositionServiceTest, FailedCacheAppendIsToldToTheCallerAndLoggedOnce) {
    server.addRoute(kLookupPath + "65804", HttpTestServer::fixture("position/zip_65804.xml"));
    const std::string kept = "80202,39.7456 -104.992\n";
    struct Case {
        const char* name;
        std::string folder;  // the application data path, "/" added
        bool fullDisk;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"full disk", dataDir.path(), true, "File too large"},
        {"folder is a plain file", dataDir.writeFile("plain", ""), false, "Not a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dataDir.writeFile("CoordsCache.db", kept);
        FileService::Instance().setApplicationDataPath(c.folder + "/");
        const std::string path = c.folder + "/CoordsCache.db";
        LogCapture log;
        std::string cacheError = "left from before";
        std::unique_ptr<Position> position;
        {
            testsupport::FullDisk disk(c.fullDisk ? kept.size() : RLIM_INFINITY);
            position = GlobalPositionService::lookupPosition("65804", cacheError);
        }
        ASSERT_TRUE(position);
        EXPECT_EQ(*position, Position(37.1962f, -93.2861f));
        EXPECT_EQ(cacheError, path + ": " + c.reason);
        EXPECT_EQ(log.count("ERROR: Unable to cache zip code coords to disk"), 1) << log.text();
        EXPECT_EQ(cache(), kept);
    }

    SCOPED_TRACE("a cache that takes the line");
    FileService::Instance().setApplicationDataPath(dataDir.path() + "/");
    std::string cacheError = "left from before";
    ASSERT_TRUE(GlobalPositionService::lookupPosition("65804", cacheError));
    EXPECT_EQ(cacheError, "");
    EXPECT_EQ(cache(), kept + "65804,37.1962 -93.2861\n");
}

// A cache file full of garbage (long lines without line ends included) neither floods the
// log nor copies its lines whole: a few bounded quotes, then one count.
TEST_F(GlobalPositionServiceTest, GarbageCacheIsQuotedInBoundedPrefixesAndThenCounted) {
    std::string garbage;
    for (int i = 0; i < 500; ++i) {
        garbage += std::string(10000, static_cast<char>('a' + i % 26)) + "\n";
    }
    dataDir.writeFile("CoordsCache.db", garbage + "65804,37.1962 -93.2861\n");
    LogCapture log;

    const std::unique_ptr<Position> position = GlobalPositionService::lookupPosition("65804");

    ASSERT_TRUE(position);
    EXPECT_EQ(server.requestCount(), 0);
    const std::vector<std::string> lines = log.lines();
    EXPECT_EQ(log.count("WARN: Skipping malformed zip code coords cache line: "), 10);
    EXPECT_EQ(log.count("WARN: Skipped 490 more malformed zip code coords cache lines"), 1)
        << log.text();
    EXPECT_LE(lines.size(), 12u);
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), 300u);
    }
    EXPECT_TRUE(log.contains(": " + std::string(200, 'a') + "...\n"));
}
