#include "services/SchedulerRules.h"

namespace vpcore {

namespace {

const int SECONDS_PER_HOUR = 3600;
const int MSECS_PER_DAY = 24 * 3600 * 1000;

// due - now in milliseconds, folded into (-12 h, 12 h].
int signedMsecsAhead(const QTime& now, const QTime& due) {
    int msecs = now.msecsTo(due);
    if (msecs <= -MSECS_PER_DAY / 2) {
        msecs += MSECS_PER_DAY;
    } else if (msecs > MSECS_PER_DAY / 2) {
        msecs -= MSECS_PER_DAY;
    }
    return msecs;
}

qint64 wallClockMsecs(const QDateTime& dateTime) {
    return dateTime.date().toJulianDay() * MSECS_PER_DAY + dateTime.time().msecsSinceStartOfDay();
}

}  // namespace

bool SchedulerRules::hasReached(const QTime& now, const QTime& due) {
    return signedMsecsAhead(now, due) <= 0;
}

bool SchedulerRules::isIntervalDue(qint64 elapsedMs, unsigned short intervalSeconds) {
    return elapsedMs / 1000 >= intervalSeconds;
}

bool SchedulerRules::isIntervalRetryDue(qint64 elapsedMs, unsigned short intervalSeconds,
                                        int retrySeconds) {
    return retrySeconds >= 0 && elapsedMs + static_cast<qint64>(retrySeconds) * 1000 <
                                    static_cast<qint64>(intervalSeconds) * 1000;
}

bool SchedulerRules::isSteppedBack(const QDateTime& lastPass, const QDateTime& now) {
    return lastPass.isValid() && now.isValid() && wallClockMsecs(now) < wallClockMsecs(lastPass);
}

SchedulerRules::HourlyStep SchedulerRules::hourlyPass(const QDateTime& lastPass,
                                                      const QDateTime& now, const QTime& due) {
    const QTime current = now.time();
    if (isSteppedBack(lastPass, now)) {
        return {false, nextHourlyTime(current, due)};
    }
    int ahead = current.msecsTo(due);
    if (ahead < 0) {
        ahead += MSECS_PER_DAY;
    }
    if (ahead == 0 || ahead > MAX_HOURLY_AHEAD_MS) {
        return {true, nextHourlyTime(current, due)};
    }
    return {false, due};
}

QTime SchedulerRules::nextHourlyTime(const QTime& now, const QTime& due) {
    const QTime thisHour(now.hour(), due.minute(), due.second());
    return thisHour > now ? thisHour : thisHour.addSecs(SECONDS_PER_HOUR);
}

QTime SchedulerRules::forcedHourlyTime(const QTime& now, const QTime& due) {
    if (now.minute() < due.minute()) {
        return due;
    }
    return QTime(now.hour(), due.minute(), due.second()).addSecs(SECONDS_PER_HOUR);
}

QTime SchedulerRules::retryAfterStepBack(const QTime& now, const QTime& due, int retrySeconds) {
    if (signedMsecsAhead(now, due) > retrySeconds * 1000) {
        return now.addSecs(retrySeconds);
    }
    return due;
}

}  // namespace vpcore
