#include <gtest/gtest.h>

#include <QDateTime>
#include <QTime>
#include <vector>

#include "services/SchedulerRules.h"

using vpcore::SchedulerRules;

namespace {

QDateTime at(int day, const QTime& time) {
    return QDateTime(QDate(2024, 11, day), time);
}

std::string text(const QTime& time) {
    return time.toString("HH:mm:ss.zzz").toStdString();
}

}  // namespace

TEST(SchedulerRulesTest, HourlyPassRunsWhenTheTimeHasComeOrWasJumpedAndNeverOnAStepBack) {
    struct Case {
        const char* name;
        QDateTime lastPass;  // invalid: the first pass after a start
        QDateTime now;
        QTime due;
        bool run;
        QTime next;
    };
    const QDateTime none;
    const std::vector<Case> cases = {
        {"not yet", at(3, QTime(10, 15, 0)), at(3, QTime(10, 15, 1)), QTime(10, 17, 5), false,
         QTime(10, 17, 5)},
        {"its very second", at(3, QTime(10, 17, 4)), at(3, QTime(10, 17, 5)), QTime(10, 17, 5),
         true, QTime(11, 17, 5)},
        {"a pass that comes late", at(3, QTime(10, 17, 4)), at(3, QTime(10, 17, 6, 300)),
         QTime(10, 17, 5), true, QTime(11, 17, 5)},
        {"passed this hour when scheduled", none, at(3, QTime(10, 30, 0)), QTime(10, 17, 5), true,
         QTime(11, 17, 5)},
        {"forceRun's extra minute is not a jump", at(3, QTime(10, 16, 59)), at(3, QTime(10, 17, 0)),
         QTime(11, 17, 5), false, QTime(11, 17, 5)},
        {"machine slept past it", at(3, QTime(10, 20, 0)), at(3, QTime(14, 0, 0)), QTime(11, 17, 5),
         true, QTime(14, 17, 5)},
        {"daylight saving time began", at(3, QTime(1, 59, 59)), at(3, QTime(3, 0, 0)),
         QTime(2, 17, 5), true, QTime(3, 17, 5)},
        {"the hour wraps past midnight", at(3, QTime(23, 59, 59)), at(4, QTime(0, 0, 0)),
         QTime(0, 0, 0), true, QTime(1, 0, 0)},
        {"due after midnight, seen before it", at(3, QTime(23, 30, 0)), at(3, QTime(23, 30, 1)),
         QTime(0, 17, 5), false, QTime(0, 17, 5)},
        // The record ran at 10:17:05 and waits for 11:17:05, 62 minutes after the new time.
        {"time corrected back five minutes", at(3, QTime(10, 20, 0)), at(3, QTime(10, 15, 0)),
         QTime(11, 17, 5), false, QTime(10, 17, 5)},
        // Ran at 01:17:05 summer time; 01:00 comes again and with it 01:17:05.
        {"daylight saving time ended", at(3, QTime(1, 59, 59)), at(3, QTime(1, 0, 0)),
         QTime(2, 17, 5), false, QTime(1, 17, 5)},
        {"a step back leaves a record due later this hour", at(3, QTime(10, 20, 0)),
         at(3, QTime(10, 15, 0)), QTime(10, 45, 0), false, QTime(10, 45, 0)},
        {"a step back across midnight", at(4, QTime(0, 0, 30)), at(3, QTime(23, 59, 0)),
         QTime(0, 17, 5), false, QTime(0, 17, 5)},
        {"a later date is no step back", at(3, QTime(23, 59, 59)), at(4, QTime(0, 0, 1)),
         QTime(0, 17, 5), false, QTime(0, 17, 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SchedulerRules::HourlyStep step =
            SchedulerRules::hourlyPass(c.lastPass, c.now, c.due);
        EXPECT_EQ(step.run, c.run);
        EXPECT_EQ(text(step.due), text(c.next));
    }
}

TEST(SchedulerRulesTest, RetryTimesAreReachedAcrossMidnightAndPulledInAfterAStepBack) {
    struct Reached {
        QTime now;
        QTime due;
        bool reached;
    };
    const std::vector<Reached> reached = {
        {QTime(10, 20, 14, 999), QTime(10, 20, 15), false},
        {QTime(10, 20, 15), QTime(10, 20, 15), true},
        {QTime(10, 25, 0), QTime(10, 20, 15), true},
        // 23:59:51 is later than 00:00:05 as a time of day, yet the retry lies ahead.
        {QTime(23, 59, 51), QTime(0, 0, 5), false},
        {QTime(0, 0, 6), QTime(0, 0, 5), true},
        {QTime(0, 0, 1), QTime(23, 59, 55), true},
    };
    for (const Reached& c : reached) {
        SCOPED_TRACE(text(c.now) + " / " + text(c.due));
        EXPECT_EQ(SchedulerRules::hasReached(c.now, c.due), c.reached);
    }

    // Set at 10:20:00 for 10:20:15; the clock then went back to 10:15:00.
    EXPECT_EQ(SchedulerRules::retryAfterStepBack(QTime(10, 15, 0), QTime(10, 20, 15), 15),
              QTime(10, 15, 15));
    EXPECT_EQ(SchedulerRules::retryAfterStepBack(QTime(10, 20, 10), QTime(10, 20, 15), 15),
              QTime(10, 20, 15));
    EXPECT_EQ(SchedulerRules::retryAfterStepBack(QTime(23, 59, 0), QTime(0, 0, 5), 15),
              QTime(23, 59, 15));
}

TEST(SchedulerRulesTest, IntervalsForcedRunsAndStepsBack) {
    EXPECT_FALSE(SchedulerRules::isIntervalDue(1999, 2));
    EXPECT_TRUE(SchedulerRules::isIntervalDue(2000, 2));
    EXPECT_TRUE(SchedulerRules::isIntervalDue(3500, 2));

    // A failed interval run is retried when the retry comes before the next regular run.
    struct RetryCase {
        qint64 elapsedMs;
        unsigned short interval;
        int retry;
        bool retried;
    };
    const RetryCase retries[] = {
        {0, 120, 15, true},        // an alert round that failed at once
        {10000, 120, 15, true},    // one that failed after its 10 s time-out
        {104999, 120, 15, true},   // the retry just before the next round
        {105000, 120, 15, false},  // at the same time as the next round: that one runs
        {130000, 120, 15, false},  // the run took longer than the interval
        {0, 10, 15, false},        // the next run comes before any retry
        {0, 15, 15, false},       {0, 16, 15, true}, {0, 120, -1, false},
    };
    for (const RetryCase& c : retries) {
        SCOPED_TRACE(std::to_string(c.elapsedMs) + " ms of " + std::to_string(c.interval) +
                     " s, retry " + std::to_string(c.retry) + " s");
        EXPECT_EQ(SchedulerRules::isIntervalRetryDue(c.elapsedMs, c.interval, c.retry), c.retried);
    }

    // The minute has come this hour: the next hour's minute, also for a record already moved.
    EXPECT_EQ(SchedulerRules::forcedHourlyTime(QTime(10, 30, 0), QTime(10, 17, 5)),
              QTime(11, 17, 5));
    EXPECT_EQ(SchedulerRules::forcedHourlyTime(QTime(10, 20, 0), QTime(11, 17, 5)),
              QTime(11, 17, 5));
    EXPECT_EQ(SchedulerRules::forcedHourlyTime(QTime(23, 30, 0), QTime(23, 17, 5)),
              QTime(0, 17, 5));
    EXPECT_EQ(SchedulerRules::forcedHourlyTime(QTime(10, 5, 0), QTime(10, 17, 5)),
              QTime(10, 17, 5));

    EXPECT_FALSE(SchedulerRules::isSteppedBack(QDateTime(), at(3, QTime(1, 0, 0))));
    EXPECT_FALSE(SchedulerRules::isSteppedBack(at(3, QTime(1, 0, 0)), at(3, QTime(1, 0, 0))));
    EXPECT_TRUE(SchedulerRules::isSteppedBack(at(3, QTime(1, 0, 0)), at(3, QTime(0, 59, 59))));
    // Wall-clock readings: the same instant may read an hour earlier after the change.
    const QDateTime summer(QDate(2024, 11, 3), QTime(1, 59, 59), Qt::OffsetFromUTC, -5 * 3600);
    const QDateTime winter(QDate(2024, 11, 3), QTime(1, 0, 0), Qt::OffsetFromUTC, -6 * 3600);
    ASSERT_LT(summer, winter);
    EXPECT_TRUE(SchedulerRules::isSteppedBack(summer, winter));
}
