// datetime_test.cpp - DATE/TIMESTAMP byte forms, Oracle's calendar and day
// arithmetic, time zones and ANSI literals.
#include "values/datetime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace tabdb {
namespace {

std::vector<uint8_t> Hex(const char* hex) {
  std::vector<uint8_t> out;
  for (const char* p = hex; *p;) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    out.push_back(static_cast<uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
    p += 2;
  }
  return out;
}

DateTime Dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, uint32_t ns = 0, int off = 0) {
  DateTime v;
  v.year = y;
  v.month = mo;
  v.day = d;
  v.hour = h;
  v.minute = mi;
  v.second = s;
  v.nanos = ns;
  v.tz_offset_minutes = off;
  return v;
}

std::string Show(const DateTime& d) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%d-%02d-%02d %02d:%02d:%02d.%09u off=%d region=%d", d.year, d.month,
                d.day, d.hour, d.minute, d.second, d.nanos, d.tz_offset_minutes, d.tz_region);
  return buf;
}

// Sets TZ for one test and restores it afterwards.
class ScopedTz {
 public:
  explicit ScopedTz(const char* tz) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTz() {
    if (had_) setenv("TZ", old_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(DatetimeDateBytes, WorkedExamples) {
  struct Case {
    DateTime value;
    const char* bytes;
  } cases[] = {
      {Dt(2024, 3, 15, 13, 45, 30), "78 7C 03 0F 0E 2E 1F"},
      {Dt(2000, 1, 1), "78 64 01 01 01 01 01"},
      {Dt(1999, 12, 31, 23, 59, 59), "77 C7 0C 1F 18 3C 3C"},
      {Dt(1, 1, 1), "64 65 01 01 01 01 01"},
      {Dt(9999, 12, 31, 23, 59, 59), "C7 C7 0C 1F 18 3C 3C"},
      {Dt(-1, 12, 31), "64 63 0C 1F 01 01 01"},
      {Dt(-4712, 1, 1), "35 58 01 01 01 01 01"},
      {Dt(-100, 6, 1), "63 64 06 01 01 01 01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.value));
    uint8_t out[7];
    EncodeDate(c.value, out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 7), Hex(c.bytes));
    DateTime back;
    ASSERT_TRUE(DecodeDate(out, 7, &back).ok());
    EXPECT_EQ(back, c.value);
  }
}

TEST(DatetimeTimestampBytes, SevenAndElevenByteForms) {
  uint8_t out[11];
  DateTime with_fraction = Dt(1980, 2, 20, 10, 46, 34, 123456789);
  ASSERT_EQ(EncodeTimestamp(with_fraction, out), 11u);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 11), Hex("77 B4 02 14 0B 2F 23 07 5B CD 15"));
  DateTime back;
  ASSERT_TRUE(DecodeTimestamp(out, 11, &back).ok());
  EXPECT_EQ(back, with_fraction);

  DateTime whole = Dt(2024, 3, 15, 13, 45, 30);
  ASSERT_EQ(EncodeTimestamp(whole, out), 7u);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 7), Hex("78 7C 03 0F 0E 2E 1F"));
  ASSERT_TRUE(DecodeTimestamp(out, 7, &back).ok());
  EXPECT_EQ(back, whole);

  // An 11-byte form with a zero fraction is the same value.
  std::vector<uint8_t> zero_fraction = Hex("78 7C 03 0F 0E 2E 1F 00 00 00 00");
  ASSERT_TRUE(DecodeTimestamp(zero_fraction.data(), 11, &back).ok());
  EXPECT_EQ(back, whole);
}

TEST(DatetimeTstzBytes, StoredInUtcWithOffset) {
  struct Case {
    DateTime local;
    const char* bytes;
  } cases[] = {
      {Dt(1980, 2, 20, 10, 46, 34, 123456789, 60), "77 B4 02 14 0A 2F 23 07 5B CD 15 15 3C"},
      {Dt(2024, 1, 1, 0, 0, 0, 0, -330), "78 7C 01 01 06 1F 01 00 00 00 00 0F 1E"},
      {Dt(2024, 1, 1, 12, 0, 0, 0, 0), "78 7C 01 01 0D 01 01 00 00 00 00 14 3C"},
      // Local time in range whose UTC instant is in year 10000 / 4713 BC.
      {Dt(9999, 12, 31, 23, 0, 0, 0, -300), "C8 64 01 01 05 01 01 00 00 00 00 0F 3C"},
      {Dt(-4712, 1, 1, 2, 0, 0, 0, 300), "35 57 0C 1F 16 01 01 00 00 00 00 19 3C"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.local));
    uint8_t out[13];
    EncodeTimestampTZ(c.local, out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 13), Hex(c.bytes));
    DateTime back;
    ASSERT_TRUE(DecodeTimestampTZ(out, 13, &back).ok());
    EXPECT_EQ(back, c.local);
  }
}

TEST(DatetimeTstzBytes, RegionFormPassesThrough) {
  std::vector<uint8_t> bytes = Hex("78 7C 01 01 0D 01 01 00 00 00 00 80 04");
  DateTime v;
  ASSERT_TRUE(DecodeTimestampTZ(bytes.data(), 13, &v).ok());
  EXPECT_EQ(v.tz_region, 1);
  EXPECT_EQ(v.tz_offset_minutes, 0);
  EXPECT_EQ(v.hour, 12);  // UTC fields
  uint8_t out[13];
  EncodeTimestampTZ(v, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 13), bytes);

  // A larger id uses both zone bytes.
  v.tz_region = 0x1ABC;
  EncodeTimestampTZ(v, out);
  EXPECT_EQ(out[11], 0x80 | (0x1ABC >> 6));
  EXPECT_EQ(out[12], (0x1ABC & 0x3F) << 2);
  DateTime again;
  ASSERT_TRUE(DecodeTimestampTZ(out, 13, &again).ok());
  EXPECT_EQ(again.tz_region, 0x1ABC);
}

TEST(DatetimeDecode, ImpossibleBytes) {
  struct Case {
    const char* bytes;
    int kind;  // 0 DATE, 1 TIMESTAMP, 2 TSTZ
    int code;
  } cases[] = {
      {"78 7C 03 0F 0E 2E", 0, 1891},                     // 6 bytes
      {"78 7C 03 0F 0E 2E 1F 00", 1, 1891},               // 8 bytes
      {"78 7C 03 0F 00 2E 1F", 0, 1891},                  // hour byte 0
      {"78 7C 0D 0F 0E 2E 1F", 0, 1843},                  // month 13
      {"78 7C 00 0F 0E 2E 1F", 0, 1843},                  // month 0
      {"78 7C 02 1E 01 01 01", 0, 1847},                  // 2024-02-30
      {"77 BF 02 1D 01 01 01", 0, 1847},                  // 1991-02-29
      {"73 B6 0A 0A 01 01 01", 0, 1847},                  // 1582-10-10 (calendar gap)
      {"64 64 01 01 01 01 01", 0, 1841},                  // year 0
      {"C8 64 01 01 01 01 01", 0, 1841},                  // year 10000
      {"78 7C 03 0F 19 2E 1F", 0, 1850},                  // hour 24
      {"78 7C 03 0F 0E 3D 1F", 0, 1851},                  // minute 60
      {"78 7C 03 0F 0E 2E 3D", 0, 1852},                  // second 60
      {"63 65 01 01 01 01 01", 0, 1891},                  // BC century with AD year byte
      {"78 7C 03 0F 0E 2E 1F 3B 9A CA 00", 1, 1880},      // 1e9 nanoseconds
      {"78 7C 01 01 0D 01 01 00 00 00 00 24 3C", 2, 1874},  // +16:00
      {"78 7C 01 01 0D 01 01 00 00 00 00 14 78", 2, 1875},  // minutes +60
      {"78 7C 01 01 0D 01 01 00 00 00 00 19 3B", 2, 1891},  // +05:-01 mixed signs
      {"78 7C 01 01 0D 01 01 00 00 00 00 80 00", 2, 1891},  // region id 0
      {"78 7C 01 01 0D 01 01 00 00 00 14 3C", 2, 1891},     // 12 bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    std::vector<uint8_t> b = Hex(c.bytes);
    DateTime v;
    Status st = c.kind == 0   ? DecodeDate(b.data(), b.size(), &v)
                : c.kind == 1 ? DecodeTimestamp(b.data(), b.size(), &v)
                              : DecodeTimestampTZ(b.data(), b.size(), &v);
    EXPECT_EQ(st.code(), c.code) << st.text();
  }
}

TEST(DatetimeCalendar, JulianDayNumbersAsOraclePrintsThem) {
  struct Case {
    DateTime d;
    int64_t j;
  } cases[] = {
      {Dt(-4712, 1, 1), 1},          {Dt(-4712, 12, 31), 365},       {Dt(-1, 12, 31), 1721058},
      {Dt(1, 1, 1), 1721424},        {Dt(1582, 10, 4), 2299160},     {Dt(1582, 10, 15), 2299161},
      {Dt(1970, 1, 1), 2440588},     {Dt(2000, 1, 1), 2451545},      {Dt(2024, 3, 15), 2460385},
      {Dt(9999, 12, 31), 5373484},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.d));
    EXPECT_EQ(DayNumber(c.d), c.j);
    DateTime back = Dt(1, 1, 1, 7, 8, 9);
    FromDayNumber(c.j, &back);
    EXPECT_EQ(back, Dt(c.d.year, c.d.month, c.d.day, 7, 8, 9));
    ASSERT_TRUE(FromJulianDay(c.j, &back).ok());
  }
  DateTime d;
  EXPECT_EQ(FromJulianDay(0, &d).code(), 1854);
  EXPECT_EQ(FromJulianDay(5373485, &d).code(), 1854);
  EXPECT_EQ(FromJulianDay(1721059, &d).code(), 1841);  // Oracle's year 0
  EXPECT_EQ(FromJulianDay(1721423, &d).code(), 1841);
}

// Walks every day of the calendar, checking that the serial count is
// gapless, that it inverts, and that weekdays cycle across the cutover.
TEST(DatetimeCalendar, EveryDayFromFirstToLast) {
  DateTime d = Dt(-4712, 1, 1);
  int64_t serial = DaySerial(d);
  int weekday = DayOfWeek(d);
  int64_t days = 0;
  while (true) {
    DateTime back;
    FromDaySerial(serial, &back);
    ASSERT_EQ(back, d) << Show(d);
    ASSERT_TRUE(ValidateDateTime(d).ok()) << Show(d);
    if (d.year == 9999 && d.month == 12 && d.day == 31) break;
    // Next day by field rules.
    DateTime next = d;
    if (next.year == 1582 && next.month == 10 && next.day == 4) {
      next.day = 15;
    } else if (next.day < DaysInMonth(next.year, next.month)) {
      ++next.day;
    } else {
      next.day = 1;
      if (++next.month > 12) {
        next.month = 1;
        next.year = next.year == -1 ? 1 : next.year + 1;
      }
    }
    ASSERT_EQ(DaySerial(next), serial + 1) << Show(next);
    ASSERT_EQ(DayOfWeek(next), weekday % 7 + 1) << Show(next);
    d = next;
    ++serial;
    weekday = DayOfWeek(d);
    ++days;
  }
  EXPECT_EQ(days, 5373484 - 366);  // J of the last day minus the first day's astronomical number
}

TEST(DatetimeCalendar, LeapYearsAndWeekdays) {
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(1500));  // Julian rule before the cutover
  EXPECT_TRUE(IsLeapYear(-1));    // 1 BC
  EXPECT_FALSE(IsLeapYear(-4));
  EXPECT_TRUE(IsLeapYear(-5));
  EXPECT_EQ(DaysInMonth(1582, 10), 31);
  EXPECT_EQ(DayOfWeek(Dt(2024, 3, 15)), 6);   // Friday
  EXPECT_EQ(DayOfWeek(Dt(1582, 10, 4)), 5);   // Thursday
  EXPECT_EQ(DayOfWeek(Dt(1582, 10, 15)), 6);  // Friday
  EXPECT_EQ(DayOfYear(Dt(1582, 10, 15)), 278);
  EXPECT_EQ(DayOfYear(Dt(1582, 12, 31)), 355);
  EXPECT_EQ(DayOfYear(Dt(2024, 12, 31)), 366);
}

TEST(DatetimeValidate, ReportsTheFieldInError) {
  struct Case {
    DateTime d;
    int code;
  } cases[] = {
      {Dt(2024, 2, 29), 0},          {Dt(0, 1, 1), 1841},          {Dt(-4713, 12, 31), 1841},
      {Dt(10000, 1, 1), 1841},       {Dt(2024, 0, 1), 1843},       {Dt(2024, 13, 1), 1843},
      {Dt(2023, 2, 29), 1847},       {Dt(2024, 4, 31), 1847},      {Dt(2024, 1, 0), 1847},
      {Dt(1582, 10, 5), 1847},       {Dt(1582, 10, 14), 1847},     {Dt(2024, 1, 1, 24), 1850},
      {Dt(2024, 1, 1, 0, 60), 1851}, {Dt(2024, 1, 1, 0, 0, 60), 1852},
      {Dt(2024, 1, 1, 0, 0, 0, 1000000000), 1880},
      {Dt(2024, 1, 1, 0, 0, 0, 0, 16 * 60), 1874},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.d));
    EXPECT_EQ(ValidateDateTime(c.d).code(), c.code);
  }
}

TEST(DatetimeArithmetic, AddSeconds) {
  struct Case {
    DateTime d;
    int64_t seconds;
    int32_t nanos;
    DateTime expect;
    int code;
  } cases[] = {
      {Dt(2024, 12, 31, 23, 59, 59), 1, 0, Dt(2025, 1, 1), 0},
      {Dt(2024, 3, 1), -1, 0, Dt(2024, 2, 29, 23, 59, 59), 0},
      {Dt(2024, 3, 1, 0, 0, 0, 500000000), 0, -700000000, Dt(2024, 2, 29, 23, 59, 59, 800000000), 0},
      {Dt(2024, 3, 1, 0, 0, 0, 900000000), 0, 200000000, Dt(2024, 3, 1, 0, 0, 1, 100000000), 0},
      {Dt(1582, 10, 4, 12), 86400, 0, Dt(1582, 10, 15, 12), 0},
      {Dt(-1, 12, 31, 12), 86400, 0, Dt(1, 1, 1, 12), 0},
      {Dt(1, 1, 1), -1, 0, Dt(-1, 12, 31, 23, 59, 59), 0},
      {Dt(9999, 12, 31, 23, 59, 59), 1, 0, DateTime(), 1841},
      {Dt(-4712, 1, 1), -1, 0, DateTime(), 1841},
      {Dt(2024, 1, 1), int64_t{1} << 62, 0, DateTime(), 1841},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.d));
    DateTime r;
    Status st = AddSeconds(c.d, c.seconds, c.nanos, &r);
    EXPECT_EQ(st.code(), c.code);
    if (c.code == 0) {
      EXPECT_EQ(r, c.expect) << Show(r);
    }
  }
}

TEST(DatetimeArithmetic, AddMonthsAndLastDay) {
  struct Case {
    DateTime d;
    int64_t months;
    DateTime expect;
    int code;
  } cases[] = {
      {Dt(2024, 1, 31, 10), 1, Dt(2024, 2, 29, 10), 0},
      {Dt(2024, 2, 29), 12, Dt(2025, 2, 28), 0},
      {Dt(2024, 2, 29), 1, Dt(2024, 3, 31), 0},  // last day stays last
      {Dt(2023, 4, 30), 1, Dt(2023, 5, 31), 0},
      {Dt(2024, 3, 15), -3, Dt(2023, 12, 15), 0},
      {Dt(-1, 12, 15), 1, Dt(1, 1, 15), 0},
      {Dt(1, 1, 15), -1, Dt(-1, 12, 15), 0},
      {Dt(1582, 9, 10), 1, Dt(1582, 10, 15), 0},  // lands in the calendar gap
      {Dt(9999, 12, 1), 1, DateTime(), 1841},
      {Dt(-4712, 1, 1), -1, DateTime(), 1841},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.d));
    DateTime r;
    EXPECT_EQ(AddMonths(c.d, c.months, &r).code(), c.code);
    if (c.code == 0) {
      EXPECT_EQ(r, c.expect) << Show(r);
    }
  }
  EXPECT_EQ(LastDay(Dt(2024, 2, 10, 5)), Dt(2024, 2, 29, 5));
  EXPECT_EQ(LastDay(Dt(1900, 2, 1)), Dt(1900, 2, 28));
  EXPECT_EQ(LastDay(Dt(1500, 2, 1)), Dt(1500, 2, 29));
}

TEST(DatetimeArithmetic, RoundFraction) {
  struct Case {
    DateTime d;
    int digits;
    DateTime expect;
    int code;
  } cases[] = {
      {Dt(2024, 1, 1, 0, 0, 0, 123456789), 6, Dt(2024, 1, 1, 0, 0, 0, 123457000), 0},
      {Dt(2024, 1, 1, 0, 0, 0, 123456789), 9, Dt(2024, 1, 1, 0, 0, 0, 123456789), 0},
      {Dt(2024, 1, 1, 0, 0, 0, 500000000), 0, Dt(2024, 1, 1, 0, 0, 1), 0},
      {Dt(2024, 1, 1, 0, 0, 0, 499999999), 0, Dt(2024, 1, 1), 0},
      {Dt(2024, 12, 31, 23, 59, 59, 999999500), 6, Dt(2025, 1, 1), 0},
      {Dt(9999, 12, 31, 23, 59, 59, 999999999), 3, DateTime(), 1841},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.d));
    DateTime r = c.d;
    EXPECT_EQ(RoundFraction(&r, c.digits).code(), c.code);
    if (c.code == 0) {
      EXPECT_EQ(r, c.expect) << Show(r);
    }
  }
}

TEST(DatetimeTimeZones, SessionZoneFollowsTz) {
  ScopedTz tz("America/New_York");
  DateTime winter = Dt(2024, 1, 15, 12), summer = Dt(2024, 7, 15, 12);
  EXPECT_EQ(SessionOffsetMinutes(EpochSeconds(winter)), -300);
  EXPECT_EQ(SessionOffsetMinutes(EpochSeconds(summer)), -240);
  EXPECT_EQ(LocalOffsetMinutes(winter), -300);
  EXPECT_EQ(LocalOffsetMinutes(summer), -240);
  // Around the spring change (02:00 local becomes 03:00).
  EXPECT_EQ(LocalOffsetMinutes(Dt(2024, 3, 10, 1, 59)), -300);
  EXPECT_EQ(LocalOffsetMinutes(Dt(2024, 3, 10, 3, 0)), -240);
  {
    ScopedTz india("Asia/Kolkata");
    EXPECT_EQ(LocalOffsetMinutes(winter), 330);
  }
}

TEST(DatetimeTimeZones, NowLocalMatchesTheClock) {
  ScopedTz tz("Asia/Kolkata");
  time_t before = time(nullptr);
  DateTime now = NowLocal();
  time_t after = time(nullptr);
  EXPECT_EQ(now.tz_offset_minutes, 330);
  int64_t utc = EpochSeconds(ToUtc(now));
  EXPECT_GE(utc, before);
  EXPECT_LE(utc, after);
  EXPECT_TRUE(ValidateDateTime(now).ok());
}

TEST(DatetimeTimeZones, ToUtcAndBack) {
  DateTime local = Dt(2024, 1, 1, 0, 15, 0, 5, -330);
  DateTime utc = ToUtc(local);
  EXPECT_EQ(utc, Dt(2024, 1, 1, 5, 45, 0, 5, 0));
  EXPECT_EQ(FromUtc(utc, -330), local);
  EXPECT_EQ(FromUtc(Dt(2024, 12, 31, 23, 30), 60), Dt(2025, 1, 1, 0, 30, 0, 0, 60));
}

TEST(DatetimeLiterals, DateLiteral) {
  struct Case {
    const char* text;
    DateTime expect;
    int code;
  } cases[] = {
      {"2024-03-15", Dt(2024, 3, 15), 0},     {"2024-3-5", Dt(2024, 3, 5), 0},
      {" 2024-03-15 ", Dt(2024, 3, 15), 0},   {"-4712-01-01", Dt(-4712, 1, 1), 0},
      {"0001-01-01", Dt(1, 1, 1), 0},         {"2024-13-01", DateTime(), 1843},
      {"2024-02-30", DateTime(), 1847},       {"0000-01-01", DateTime(), 1841},
      {"2024-01-01 10:00:00", DateTime(), 1861}, {"2024/01/01", DateTime(), 1861},
      {"20240101", DateTime(), 1861},         {"", DateTime(), 1861},
      {"12024-01-01", DateTime(), 1861},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DateTime d;
    EXPECT_EQ(ParseDateLiteral(c.text, &d).code(), c.code);
    if (c.code == 0) {
      EXPECT_EQ(d, c.expect) << Show(d);
    }
  }
}

TEST(DatetimeLiterals, TimestampLiteral) {
  struct Case {
    const char* text;
    DateTime expect;
    bool zone;
    int code;
  } cases[] = {
      {"2024-03-15 13:45:30", Dt(2024, 3, 15, 13, 45, 30), false, 0},
      {"2024-03-15 13:45:30.123456789", Dt(2024, 3, 15, 13, 45, 30, 123456789), false, 0},
      {"2024-03-15 13:45:30.5", Dt(2024, 3, 15, 13, 45, 30, 500000000), false, 0},
      {"2024-03-15 13:45", Dt(2024, 3, 15, 13, 45), false, 0},
      {"2024-03-15 13:45:30 +05:30", Dt(2024, 3, 15, 13, 45, 30, 0, 330), true, 0},
      {"2024-03-15 13:45:30 -05:30", Dt(2024, 3, 15, 13, 45, 30, 0, -330), true, 0},
      {"2024-03-15 13:45:30 UTC", Dt(2024, 3, 15, 13, 45, 30), true, 0},
      {"2024-03-15 13:45:30 z", Dt(2024, 3, 15, 13, 45, 30), true, 0},
      {"2024-03-15 13:45:30 Europe/Paris", DateTime(), true, 1882},
      {"2024-03-15 13:45:30 +16:00", DateTime(), true, 1874},
      {"2024-03-15 13:45:30 +05:60", DateTime(), true, 1875},
      {"2024-03-15", DateTime(), false, 1861},
      {"2024-03-15 24:00:00", DateTime(), false, 1850},
      {"2024-03-15 13:45:30.1234567891", DateTime(), false, 1861},
      {"2024-02-30 00:00:00", DateTime(), false, 1847},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DateTime d;
    bool zone = false;
    EXPECT_EQ(ParseTimestampLiteral(c.text, &d, &zone).code(), c.code);
    if (c.code == 0) {
      EXPECT_EQ(d, c.expect) << Show(d);
      EXPECT_EQ(zone, c.zone);
    }
  }
}

// SQLite compares BLOBs with memcmp over the common length, then by length.
int BlobCompare(const uint8_t* a, size_t na, const uint8_t* b, size_t nb) {
  int c = std::memcmp(a, b, std::min(na, nb));
  if (c != 0) return c < 0 ? -1 : 1;
  return na < nb ? -1 : (na > nb ? 1 : 0);
}

DateTime RandomDateTime(std::mt19937_64& rng, bool with_nanos) {
  // Mostly spread over the whole range, sometimes bunched to hit equal
  // prefixes (same day, same second).
  std::uniform_int_distribution<int64_t> serial(DaySerial(Dt(-4712, 1, 1)), DaySerial(Dt(9999, 12, 31)));
  std::uniform_int_distribution<int64_t> bunched(DaySerial(Dt(2024, 1, 1)), DaySerial(Dt(2024, 1, 3)));
  DateTime d;
  FromDaySerial(rng() % 4 == 0 ? bunched(rng) : serial(rng), &d);
  d.hour = static_cast<int>(rng() % 24);
  d.minute = static_cast<int>(rng() % 60);
  d.second = static_cast<int>(rng() % 3);
  if (with_nanos && rng() % 2) d.nanos = static_cast<uint32_t>(rng() % 1000000000);
  return d;
}

int Chrono(const DateTime& a, const DateTime& b) {
  int64_t sa = DaySerial(a), sb = DaySerial(b);
  if (sa != sb) return sa < sb ? -1 : 1;
  int64_t ta = EpochSeconds(a), tb = EpochSeconds(b);
  if (ta != tb) return ta < tb ? -1 : 1;
  if (a.nanos != b.nanos) return a.nanos < b.nanos ? -1 : 1;
  return 0;
}

TEST(DatetimeSortOrder, EncodedBytesSortChronologically) {
  std::mt19937_64 rng(20240315);
  for (int i = 0; i < 200000; ++i) {
    DateTime a = RandomDateTime(rng, true), b = RandomDateTime(rng, true);
    uint8_t ea[11], eb[11];
    size_t na = EncodeTimestamp(a, ea), nb = EncodeTimestamp(b, eb);
    ASSERT_EQ(BlobCompare(ea, na, eb, nb), Chrono(a, b)) << Show(a) << " vs " << Show(b);
    a.nanos = b.nanos = 0;
    EncodeDate(a, ea);
    EncodeDate(b, eb);
    ASSERT_EQ(BlobCompare(ea, 7, eb, 7), Chrono(a, b)) << Show(a) << " vs " << Show(b);
  }
}

}  // namespace
}  // namespace tabdb
