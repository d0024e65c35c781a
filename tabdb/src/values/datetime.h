// datetime.h - DATE and TIMESTAMP values: their fields, Oracle's calendar,
// the byte forms the database stores (DATE 7 bytes, TIMESTAMP and WITH
// LOCAL TIME ZONE 7 or 11 bytes, WITH TIME ZONE 13 bytes), ANSI literals.
//
// Calendar: Julian up to 1582-10-04, Gregorian from 1582-10-15 on; the ten
// days between do not exist. Years run from -4712 (4712 BC) to 9999 with no
// year 0 (-1 is 1 BC, a leap year as in the historical Julian calendar).
//
// Byte forms sort as unsigned bytes (memcmp, shorter-is-smaller on a common
// prefix) in chronological order, so stored values can be compared directly.
// Encode/Decode never allocate on success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "util/status.h"

namespace tabdb {

struct DateTime {
  int year = 1;  // -4712..9999, never 0; negative = BC (-1 = 1 BC)
  int month = 1, day = 1, hour = 0, minute = 0, second = 0;
  uint32_t nanos = 0;         // 0..999999999
  int tz_offset_minutes = 0;  // WITH TIME ZONE values: local = UTC + offset
  int tz_region = 0;  // non-zero: region id carried from stored bytes; the
                      // fields are then UTC and tz_offset_minutes is 0

  bool operator==(const DateTime& o) const {
    return year == o.year && month == o.month && day == o.day && hour == o.hour &&
           minute == o.minute && second == o.second && nanos == o.nanos &&
           tz_offset_minutes == o.tz_offset_minutes && tz_region == o.tz_region;
  }
  bool operator!=(const DateTime& o) const { return !(*this == o); }
};

constexpr int kMinYear = -4712;
constexpr int kMaxYear = 9999;
// Time zone offsets accepted in values and literals: -15:59..+15:59.
constexpr int kMaxTzOffsetMinutes = 15 * 60 + 59;
// Largest region id the two zone bytes can carry (13 bits).
constexpr int kMaxTzRegion = 0x1FFF;

bool IsLeapYear(int year);             // Oracle's calendar (Julian before 1583)
int DaysInMonth(int year, int month);  // last day number (October 1582: 31)

// Checks every field: ORA-01841 year, ORA-01843 month, ORA-01847 day (also
// for 1582-10-05..14), ORA-01850 hour, ORA-01851 minute, ORA-01852 second,
// ORA-01880 fraction, ORA-01874/01875 offset.
Status ValidateDateTime(const DateTime& d);

// DATE: century+100, year-of-century+100, month, day, hour+1, minute+1,
// second+1. BC years: 100 - (|Y| div 100), 100 - (|Y| mod 100).
void EncodeDate(const DateTime& d, uint8_t out[7]);
// n must be 7; impossible bytes (zero hour byte, month 13, year 0...) are
// rejected (ORA-01891 for malformed bytes, the field errors otherwise).
Status DecodeDate(const uint8_t* p, size_t n, DateTime* d);

// TIMESTAMP and WITH LOCAL TIME ZONE: the DATE bytes, then the nanoseconds
// as 4 big-endian bytes; the 7-byte form alone when nanos == 0. Returns the
// length written.
size_t EncodeTimestamp(const DateTime& d, uint8_t out[11]);
Status DecodeTimestamp(const uint8_t* p, size_t n, DateTime* d);  // n is 7 or 11

// WITH TIME ZONE: 11 bytes of UTC date/time/nanos (nanos bytes always
// present), then hours+20 and minutes+60 of the offset, or, when tz_region
// != 0, 0x80 | region >> 6 and (region & 0x3F) << 2 (fields then taken as
// UTC). UTC may fall one day outside the year range (9999-12-31 23:00 -05:00).
void EncodeTimestampTZ(const DateTime& local, uint8_t out[13]);
// n == 13. Offset form: returns local fields and the offset. Region form:
// UTC fields with tz_region set, so that re-encoding gives the same bytes.
Status DecodeTimestampTZ(const uint8_t* p, size_t n, DateTime* local);

// Julian day number as TO_CHAR(d,'J') prints it: 2451545 for 2000-01-01,
// 1 for 4712 BC January 1. Oracle's J numbering of BC days is 365 lower than
// the astronomers' (a phantom year 0 of 365 days sits between 1 BC and
// 1 AD), so J differences across the BC/AD boundary are 365 larger than the
// true day counts; use DaySerial for arithmetic.
int64_t DayNumber(const DateTime& d);
// Inverse of DayNumber; keeps the time fields. J values of the phantom
// year 0 (1721059..1721423) are taken as the same day of the year in 1 AD.
void FromDayNumber(int64_t jdn, DateTime* d);
// Checked inverse for TO_DATE(...,'J'): ORA-01854 outside 1..5373484,
// ORA-01841 for the phantom year 0.
Status FromJulianDay(int64_t jdn, DateTime* d);

// A gapless day count (the astronomers' Julian day number; equal to
// DayNumber from 1 AD on). Date arithmetic and day differences use this.
int64_t DaySerial(const DateTime& d);
void FromDaySerial(int64_t serial, DateTime* d);  // keeps the time fields

// 1 = Sunday .. 7 = Saturday (D of the AMERICA territory).
int DayOfWeek(const DateTime& d);
int DayOfYear(const DateTime& d);  // 1..366 (355 in 1582)

// Adds seconds and nanoseconds (either sign); ORA-01841 when the result
// leaves -4712..9999. Zone fields are copied unchanged.
Status AddSeconds(const DateTime& d, int64_t seconds, int32_t nanos, DateTime* out);
// ADD_MONTHS: the last day of a month stays the last day; a day past the
// end of the target month becomes its last day. ORA-01841 out of range.
Status AddMonths(const DateTime& d, int64_t months, DateTime* out);
DateTime LastDay(const DateTime& d);

// Time zones: the session time zone is the process's local zone (TZ
// environment / system zone), read afresh on every call.
int SessionOffsetMinutes(int64_t utc_epoch_seconds);
// Offset of the local zone for a local wall-clock time (for a time skipped
// or repeated by a DST change, one of the two offsets around the change).
int LocalOffsetMinutes(const DateTime& local);
// Seconds since 1970-01-01 00:00:00 of the fields taken as UTC (zone ignored).
int64_t EpochSeconds(const DateTime& d);
DateTime NowLocal();  // SYSDATE/SYSTIMESTAMP source: nanos and tz_offset_minutes set
// local - offset, with tz_offset_minutes 0 (tz_region kept). Years may fall
// one outside the valid range at the extremes; no error is raised here.
DateTime ToUtc(const DateTime& local_with_offset);
DateTime FromUtc(const DateTime& utc, int offset_minutes);  // tz_region cleared

// Rounds the fraction to `digits` (0..9), half up, carrying into seconds and
// beyond (ORA-01841 if that leaves year 9999).
Status RoundFraction(DateTime* d, int digits);

// DATE 'YYYY-MM-DD' (optional sign on the year, 1-2 digit month and day, no
// time part). TIMESTAMP 'YYYY-MM-DD HH24:MI[:SS[.FFFFFFFFF]]' optionally
// followed by a zone: +hh:mm, -hh:mm, UTC, GMT or Z (*has_zone set). Other
// zone names: ORA-01882. Shape errors ORA-01861; field errors as
// ValidateDateTime.
Status ParseDateLiteral(std::string_view text, DateTime* d);
Status ParseTimestampLiteral(std::string_view text, DateTime* d, bool* has_zone);

}  // namespace tabdb
