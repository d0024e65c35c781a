// interval.h - INTERVAL YEAR TO MONTH and INTERVAL DAY TO SECOND values:
// byte forms (5 and 11 bytes), literals, precision fitting, display, and
// adding intervals to dates.
//
// A normalised value has every field carrying the interval's sign and the
// lower fields within their ranges (months 0..11, hours 0..23, minutes and
// seconds 0..59, nanos 0..999999999 in magnitude). Normalised byte forms
// sort as unsigned bytes in the order of the intervals they hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "util/status.h"
#include "values/datetime.h"

namespace tabdb {

struct IntervalYM {
  int64_t years = 0;
  int months = 0;  // both carry the interval's sign
  bool operator==(const IntervalYM& o) const { return years == o.years && months == o.months; }
};

struct IntervalDS {
  int64_t days = 0;
  int hours = 0, minutes = 0, seconds = 0;
  int32_t nanos = 0;  // all carry the interval's sign
  bool operator==(const IntervalDS& o) const {
    return days == o.days && hours == o.hours && minutes == o.minutes && seconds == o.seconds &&
           nanos == o.nanos;
  }
};

// Largest magnitude of the leading field (precision 9).
constexpr int64_t kMaxIntervalLeading = 999999999;

// Bytes 0-3: years + 0x80000000 big-endian; byte 4: months + 60. The value
// is normalised first; its years must be within +-kMaxIntervalLeading
// (FitIntervalYM checks that).
void EncodeIntervalYM(const IntervalYM& v, uint8_t out[5]);
// n == 5. The fields are added up (mixed signs accepted) and normalised;
// months beyond +-11 are malformed (ORA-01891).
Status DecodeIntervalYM(const uint8_t* p, size_t n, IntervalYM* v);

// Bytes 0-3: days + 0x80000000; 4, 5, 6: hours, minutes, seconds + 60;
// 7-10: nanos + 0x80000000, all big-endian. The value is normalised
// first; its days must be within +-kMaxIntervalLeading.
void EncodeIntervalDS(const IntervalDS& v, uint8_t out[11]);
// n == 11. Fields are added up (mixed signs accepted) and normalised; a
// field beyond its byte's range is malformed (ORA-01891).
Status DecodeIntervalDS(const uint8_t* p, size_t n, IntervalDS* v);

enum class IntervalField { kYear, kMonth, kDay, kHour, kMinute, kSecond };

// Literal text with its qualifier: ("1-2", YEAR, MONTH), ("5", YEAR, YEAR),
// ("30", MONTH, MONTH) = 2-6, ("-1-2", ...). Blanks around the text are
// allowed. A leading field with more digits than leading_precision (0..9):
// ORA-01873; a month beyond 11 after a year: ORA-01843; anything else
// malformed or a qualifier that is not YEAR/MONTH in order: ORA-01867.
Status ParseIntervalYM(std::string_view text, IntervalField from, IntervalField to,
                       int leading_precision, IntervalYM* v);
// ("3 04:05:06.789", DAY, SECOND), ("04:05", HOUR, MINUTE), ("75.5", SECOND,
// SECOND) = 0 00:01:15.5, ("30", HOUR, HOUR) = 1 06:00:00. Fields after the
// leading one must be within range (ORA-01850/01851/01852); the fraction
// (SECOND last only) is rounded to fractional_precision digits.
Status ParseIntervalDS(std::string_view text, IntervalField from, IntervalField to,
                       int leading_precision, int fractional_precision, IntervalDS* v);

// Normalises and checks the years against the precision (ORA-01873).
Status FitIntervalYM(IntervalYM* v, int leading_precision);
// Normalises, rounds the fraction to fractional_precision digits (half away
// from zero), and checks the days (ORA-01873).
Status FitIntervalDS(IntervalDS* v, int leading_precision, int fractional_precision);

// Oracle's display: "+01-02", "-01-02" (years padded to the precision).
std::string IntervalYMToString(const IntervalYM& v, int leading_precision);
// "+03 04:05:06.789000"; no fraction part when fractional_precision is 0.
std::string IntervalDSToString(const IntervalDS& v, int leading_precision, int fractional_precision);

// Date + INTERVAL YEAR TO MONTH: ORA-01839 when the day does not exist in
// the target month (unlike ADD_MONTHS), ORA-01841 out of range.
Status AddIntervalYM(const DateTime& d, const IntervalYM& v, DateTime* out);
Status AddIntervalDS(const DateTime& d, const IntervalDS& v, DateTime* out);

}  // namespace tabdb
