#include "platform/LocalTimeZone.h"

#include <ctime>

namespace platform {

namespace {

int64_t OffsetAt(int64_t seconds) {
    const time_t when = static_cast<time_t>(seconds);
    tm parts{};
    if (localtime_r(&when, &parts) == nullptr) {
        return 0;
    }
    return parts.tm_gmtoff;
}

// Days since 1970-01-01 to a civil date in the proleptic Gregorian calendar.
void CivilFromDays(int64_t days, int* year, int* month, int* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;  // March is 0
    *day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    *month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

}  // namespace

void LocalTimeZone::Prepare(int64_t fromSeconds) {
    tzset();
    count_ = 0;
    int64_t offset = OffsetAt(fromSeconds);
    periods_[count_++] = Period{fromSeconds, offset};
    // Offsets change at most a few times a year and stay for weeks: a daily step finds every
    // change, a bisection its second.
    constexpr int64_t kDay = 86400;
    for (int64_t day = fromSeconds; day < fromSeconds + kSpanSeconds && count_ <= kMaxChanges;
         day += kDay) {
        const int64_t next = OffsetAt(day + kDay);
        if (next == offset) {
            continue;
        }
        int64_t low = day;  // still the old offset
        int64_t high = day + kDay;
        while (high - low > 1) {
            const int64_t middle = low + (high - low) / 2;
            (OffsetAt(middle) == offset ? low : high) = middle;
        }
        periods_[count_++] = Period{high, next};
        offset = next;
    }
}

LocalTime LocalTimeZone::At(int64_t seconds) const {
    int64_t offset = 0;
    for (int i = 0; i < count_ && (i == 0 || periods_[i].from <= seconds); ++i) {
        offset = periods_[i].offsetSeconds;
    }
    const int64_t local = seconds + offset;
    int64_t days = local / 86400;
    int64_t secondOfDay = local % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    LocalTime result;
    CivilFromDays(days, &result.year, &result.month, &result.day);
    result.hour = static_cast<int>(secondOfDay / 3600);
    result.minute = static_cast<int>(secondOfDay / 60 % 60);
    result.second = static_cast<int>(secondOfDay % 60);
    return result;
}

}  // namespace platform
