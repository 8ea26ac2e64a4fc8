#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "FullDisk.h"
#include "LogCapture.h"
#include "StderrCapture.h"
#include "TempDir.h"
#include "services/Logger.h"

using testsupport::LogCapture;
using testsupport::readFile;
using testsupport::TempDir;
using vpcore::Logger;

namespace {

class LoggerTest : public ::testing::Test {
protected:
    void TearDown() override {
        Logger::Instance().setFile("");
        Logger::Instance().setMaxFileSize(1024);
    }
};

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

const std::regex lineFormat(
    R"((Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) )"
    R"([ 123]\d \d\d:\d\d:\d\d \d{4} (INFO|WARN|ERROR): .*)");

}  // namespace

TEST_F(LoggerTest, LinesHaveCtimeTextThenLevelAndMessage) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"INFO", "x"}, {"WARN", "two words"}, {"ERROR", "Could not update current weather. "}};
    LogCapture capture;
    for (const auto& c : cases) {
        Logger::Instance().log(c.first, c.second);
    }
    const std::vector<std::string> lines = capture.lines();
    ASSERT_EQ(lines.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_TRUE(std::regex_match(lines[i], lineFormat));
        EXPECT_EQ(lines[i].substr(24), " " + cases[i].first + ": " + cases[i].second);
    }
    EXPECT_EQ(capture.text().back(), '\n');
}

// The previous run's log is kept as <file>.1 (a crash leaves its last lines there), and the
// new file holds only this run's lines.
TEST_F(LoggerTest, FileStartsEmptyAndHoldsTheLinesSinceItWasNamed) {
    TempDir dir;
    Logger::Instance().log("INFO", "before any file");
    dir.writeFile("Ombrix.log.1", "the run before last\n");
    const std::string path = dir.writeFile("Ombrix.log", "left over from last run\n");
    Logger::Instance().setFile(path);
    EXPECT_EQ(readFile(path), "left over from last run\n");  // opened only by the next line
    LogCapture capture;
    Logger::Instance().log("INFO", "first");
    Logger::Instance().log("WARN", "second");

    const std::vector<std::string> lines = splitLines(readFile(path));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" INFO: first"), std::string::npos);
    EXPECT_NE(lines[1].find(" WARN: second"), std::string::npos);
    EXPECT_EQ(readFile(path).back(), '\n');
    EXPECT_EQ(capture.lines().size(), 2u);  // standard output gets every line too
    EXPECT_EQ(readFile(path + ".1"), "left over from last run\n");
}

TEST_F(LoggerTest, FileIsResetAtTheSizeLimitWithTheTriggeringLineFirst) {
    struct Case {
        int kilobytes;
        std::size_t limit;
    };
    for (const Case c : {Case{1, 1024}, Case{2, 2048}}) {
        SCOPED_TRACE(c.kilobytes);
        TempDir dir;
        const std::string path = dir.filePath("Ombrix.log");
        Logger::Instance().setFile(path);
        Logger::Instance().setMaxFileSize(c.kilobytes);
        LogCapture capture;
        const std::string filler(50, 'a');
        int written = 0;
        while (readFile(path).size() < c.limit) {
            Logger::Instance().log("INFO", filler + std::to_string(written++));
        }
        EXPECT_FALSE(capture.contains("Max log file size reached. Resetting file."));
        Logger::Instance().log("INFO", "the trigger");
        EXPECT_EQ(capture.count("Max log file size reached. Resetting file."), 1);
        const std::vector<std::string> lines = splitLines(readFile(path));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("INFO: the trigger"), std::string::npos);
        Logger::Instance().setFile("");
    }
}

// The full file is kept as <file>.1, so the start-up lines outlive the first reset; the next
// reset replaces that generation, and the logs never take more than twice the limit.
TEST_F(LoggerTest, FullFileBecomesTheOlderGenerationWhichTheNextResetReplaces) {
    TempDir dir;
    const std::string path = dir.filePath("Ombrix.log");
    const std::string older = path + ".1";
    Logger::Instance().setFile(path);
    Logger::Instance().setMaxFileSize(1);
    LogCapture capture;
    const auto fillUp = [&path](const std::string& tag) {
        for (int i = 0; readFile(path).size() < 1024; ++i) {
            Logger::Instance().log("INFO", tag + " " + std::string(50, 'a') + std::to_string(i));
        }
    };
    Logger::Instance().log("INFO", "start-up line");
    fillUp("first");
    Logger::Instance().log("INFO", "second generation");
    std::vector<std::string> kept = splitLines(readFile(older));
    ASSERT_FALSE(kept.empty());
    EXPECT_NE(kept.front().find("INFO: start-up line"), std::string::npos);
    EXPECT_NE(kept.back().find("INFO: first "), std::string::npos);
    EXPECT_GE(readFile(older).size(), 1024u);
    std::vector<std::string> current = splitLines(readFile(path));
    ASSERT_EQ(current.size(), 1u);
    EXPECT_NE(current[0].find("INFO: second generation"), std::string::npos);

    fillUp("second");
    Logger::Instance().log("INFO", "third generation");
    kept = splitLines(readFile(older));
    ASSERT_FALSE(kept.empty());
    EXPECT_NE(kept.front().find("INFO: second generation"), std::string::npos);
    EXPECT_EQ(readFile(older).find("start-up line"), std::string::npos);
    current = splitLines(readFile(path));
    ASSERT_EQ(current.size(), 1u);
    EXPECT_NE(current[0].find("INFO: third generation"), std::string::npos);
    EXPECT_EQ(capture.count("Max log file size reached. Resetting file."), 2);
}

// When the older generation cannot be replaced (here a folder of that name), the full file is
// emptied as before and standard output says why.
TEST_F(LoggerTest, OlderGenerationThatCannotBeReplacedLeavesTheFileToBeEmptied) {
    TempDir dir;
    const std::string path = dir.filePath("Ombrix.log");
    std::filesystem::create_directory(path + ".1");
    Logger::Instance().setFile(path);
    Logger::Instance().setMaxFileSize(1);
    LogCapture capture;
    while (readFile(path).size() < 1024) {
        Logger::Instance().log("INFO", std::string(60, 'b'));
    }
    Logger::Instance().log("INFO", "the trigger");
    EXPECT_EQ(capture.count("Could not keep the full logging file as " + path + ".1: "), 1)
        << capture.text();
    const std::vector<std::string> lines = splitLines(readFile(path));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("INFO: the trigger"), std::string::npos);
}

TEST_F(LoggerTest, UnwritablePathIsReportedOnceAndStandardOutputGoesOn) {
    TempDir dir;
    const std::string path = dir.filePath("missing-folder/Ombrix.log");
    Logger::Instance().setFile(path);
    LogCapture capture;
    Logger::Instance().log("INFO", "one");
    Logger::Instance().log("INFO", "two");
    EXPECT_EQ(capture.count("Could not open logging file " + path), 1);
    EXPECT_EQ(capture.count("INFO: one"), 1);
    EXPECT_EQ(capture.count("INFO: two"), 1);
}

// A FIFO in place of the log would block the first line for good: it is not opened, said once,
// and left as it is; the lines go on to standard output.
TEST_F(LoggerTest, AFileThatIsNotARegularFileIsNeitherOpenedNorReplaced) {
    TempDir dir;
    const std::string path = dir.filePath("Ombrix.log");
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    Logger::Instance().setFile(path);
    LogCapture capture;
    Logger::Instance().log("INFO", "one");
    Logger::Instance().log("INFO", "two");
    EXPECT_EQ(capture.count("Could not open logging file " + path + ": it is not a regular file"),
              1)
        << capture.text();
    EXPECT_EQ(capture.count("INFO: two"), 1);
    struct stat info {};
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_FALSE(std::filesystem::exists(path + ".1"));
}

// On a full disk (no file may grow) a line that does not fit is said once on standard error,
// not written in part, and logging goes on: once there is room again, lines reach the file.
TEST_F(LoggerTest, AFailedWriteIsToldOnceAndTheFileKeepsWholeLines) {
    TempDir dir;
    const std::string path = dir.filePath("Ombrix.log");
    Logger::Instance().setFile(path);
    Logger::Instance().log("INFO", "before the disk filled up");
    const std::size_t size = readFile(path).size();
    // Standard error into a pipe, which the file size limit does not touch.
    const std::string errors = testsupport::captureStderr([size] {
        testsupport::FullDisk disk(size + 10);
        for (int i = 0; i < 5; ++i) {
            Logger::Instance().log("INFO", "a line that does not fit " + std::to_string(i));
        }
    });
    EXPECT_EQ(splitLines(errors).size(), 1u) << errors;
    EXPECT_NE(errors.find("Could not write to logging file " + path + ": File too large"),
              std::string::npos)
        << errors;
    EXPECT_EQ(readFile(path).size(), size);
    Logger::Instance().log("INFO", "room again");
    const std::vector<std::string> lines = splitLines(readFile(path));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("INFO: room again"), std::string::npos);
}

TEST_F(LoggerTest, NamingAnotherFileMovesLoggingThere) {
    TempDir dir;
    const std::string first = dir.filePath("first.log");
    const std::string second = dir.filePath("second.log");
    LogCapture capture;
    Logger::Instance().setFile(first);
    Logger::Instance().log("INFO", "to first");
    Logger::Instance().setFile(second);
    Logger::Instance().log("INFO", "to second");
    EXPECT_EQ(splitLines(readFile(first)).size(), 1u);
    const std::vector<std::string> lines = splitLines(readFile(second));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("to second"), std::string::npos);
}

TEST_F(LoggerTest, LinesFromManyThreadsStayWhole) {
    TempDir dir;
    const std::string path = dir.filePath("Ombrix.log");
    Logger::Instance().setFile(path);
    Logger::Instance().setMaxFileSize(1024 * 1024);
    LogCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                Logger::Instance().log(
                    "INFO", "thread " + std::to_string(t) + " line " + std::to_string(i));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::vector<std::string> lines = splitLines(readFile(path));
    ASSERT_EQ(lines.size(), 800u);
    for (const std::string& line : lines) {
        ASSERT_TRUE(std::regex_match(line, lineFormat)) << line;
    }
}
