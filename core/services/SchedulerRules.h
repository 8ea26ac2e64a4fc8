// The time rules of the task scheduler as pure functions of clock readings: when an hourly
// record or a retry is due, where an hourly record goes next, and how a clock step back is
// told from time going on. Used by TaskScheduler's scheduling thread; callable from any thread.
#pragma once

#include <QDateTime>
#include <QTime>

#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT SchedulerRules {
public:
    // What one scheduling pass does with an hourly record.
    struct HourlyStep {
        bool run;   // queue the task now
        QTime due;  // the record's time after the pass
    };

    // An hourly record's time lies at most this far ahead of the clock: one hour, and the
    // seconds forceRun may add as it compares minutes only.
    static const int MAX_HOURLY_AHEAD_MS = (3600 + 60) * 1000;

    // Whether the time of day `now` has reached the retry time `due`. Retry times lie seconds
    // ahead, so a time shortly before midnight has not reached a retry time shortly after it.
    static bool hasReached(const QTime& now, const QTime& due);

    // Whether an interval record whose timer shows elapsedMs is due.
    static bool isIntervalDue(qint64 elapsedMs, unsigned short intervalSeconds);

    // Whether a failed run of an interval task, ended when its timer shows elapsedMs, is
    // tried again after retrySeconds: when that comes before the record's next regular run
    // (a failed alert round of 120 s is retried after 15 s, again and again until one
    // succeeds; a task run every 10 s just waits for its next run).
    static bool isIntervalRetryDue(qint64 elapsedMs, unsigned short intervalSeconds,
                                   int retrySeconds);

    // Whether the wall clock went back since the last pass (the end of daylight saving time,
    // a time correction). Wall-clock readings are compared, not instants: at the end of
    // daylight saving time the instant goes on while the time of day goes back an hour.
    // False for the first pass (lastPass invalid).
    static bool isSteppedBack(const QDateTime& lastPass, const QDateTime& now);

    // One pass over an hourly record due at `due`, the clock reading `now` and the reading of
    // the pass before (invalid for the first pass after a start).
    // - Time going on: due when its time has come or lies further ahead than a record can
    //   (the clock jumped past it: the machine slept, daylight saving time began); it then
    //   moves to its minute and second in the next hour ahead of now.
    // - Clock stepped back: never due; the record moves to its minute and second in the first
    //   hour ahead of the new time, so that it neither runs at once nor waits for the hour it
    //   was due in to come round again.
    static HourlyStep hourlyPass(const QDateTime& lastPass, const QDateTime& now, const QTime& due);

    // The record's minute and second in the first hour that is still ahead of now.
    static QTime nextHourlyTime(const QTime& now, const QTime& due);

    // Where forceRun puts an hourly record: to this minute of the next hour once the minute
    // has come this hour (one hour on would skip the next run of a record that already ran
    // this hour); unchanged otherwise.
    static QTime forcedHourlyTime(const QTime& now, const QTime& due);

    // A retry time after a clock step back: at most retrySeconds ahead of now, as a retry
    // set before the step would otherwise wait for the time that was taken back.
    static QTime retryAfterStepBack(const QTime& now, const QTime& due, int retrySeconds);
};

}  // namespace vpcore
