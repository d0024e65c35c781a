// datetime_format_test.cpp - TO_CHAR and TO_DATE/TO_TIMESTAMP(_TZ) format
// models: element output, Oracle's lenient parsing and its errors, round
// trips through every element.
#include "values/datetime_format.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace tabdb {
namespace {

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
  std::snprintf(buf, sizeof buf, "%d-%02d-%02d %02d:%02d:%02d.%09u off=%d", d.year, d.month, d.day,
                d.hour, d.minute, d.second, d.nanos, d.tz_offset_minutes);
  return buf;
}

const DateTime kNow = Dt(2026, 12, 7, 10, 11, 12);

TEST(DatetimeToChar, Elements) {
  const DateTime fri = Dt(2024, 3, 15, 13, 45, 30);
  struct Case {
    DateTime d;
    const char* fmt;
    const char* expect;
  } cases[] = {
      {fri, "DD-MON-RR", "15-MAR-24"},
      {fri, "YYYY-MM-DD HH24:MI:SS", "2024-03-15 13:45:30"},
      {fri, "Day", "Friday   "},
      {fri, "DAY", "FRIDAY   "},
      {fri, "day", "friday   "},
      {fri, "FMDay", "Friday"},
      {fri, "Dy dy DY", "Fri fri FRI"},
      {fri, "Mon mon MON", "Mar mar MAR"},
      {fri, "Month|", "March    |"},
      {fri, "FMMonth DD, YYYY", "March 15, 2024"},
      {fri, "FMMonth FMDD", "March 15"},  // the second FM turns padding back on
      {Dt(2024, 3, 5), "FMMonth FMDD", "March 05"},
      {fri, "HH:MI:SS AM", "01:45:30 PM"},
      {fri, "HH12 a.m. A.M. Pm", "01 p.m. P.M. Pm"},
      {Dt(2024, 3, 15, 0, 5), "HH HH24 AM", "12 00 AM"},
      {Dt(2024, 3, 15, 12, 5), "HH AM", "12 PM"},
      {fri, "J", "2460385"},
      {fri, "DDD D Q WW W IW", "075 6 1 11 3 11"},
      {fri, "CC SCC", "21  21"},
      {Dt(2000, 1, 1), "CC", "20"},
      {fri, "SSSSS", "49530"},
      {fri, "Y,YYY YYY YY Y RRRR RR", "2,024 024 24 4 2024 24"},
      {fri, "RM|rm|FMRM", "III |iii |III"},
      {fri, "DDTH ddth DDth", "15TH 15th 15th"},
      {Dt(2024, 3, 1), "DDTH", "01ST"},
      {Dt(2024, 3, 2), "FMDDTH", "2ND"},
      {Dt(2024, 3, 13), "DDTH", "13TH"},
      {Dt(2024, 3, 23), "DDTH", "23RD"},
      {fri, "\"Quarter\" Q, \"week\" WW", "Quarter 1, week 11"},
      {fri, "YYYY/MM/DD;HH24.MI", "2024/03/15;13.45"},
      {fri, "AD A.D. bc", "AD A.D. ad"},
      {Dt(2021, 1, 3), "IYYY-IW", "2020-53"},
      {Dt(2024, 12, 30), "IYYY-IW IY I", "2025-01 25 5"},
      {Dt(2024, 1, 7), "WW", "01"},
      {Dt(2024, 1, 8), "WW", "02"},
      {Dt(-4712, 1, 1), "SYYYY-MM-DD BC", "-4712-01-01 BC"},
      {Dt(-4712, 1, 1), "YYYY B.C. J", "4712 B.C. 0000001"},
      {Dt(-4712, 1, 1), "SCC CC FMSYYYY", "-48 48 -4712"},
      {Dt(5, 6, 7), "YYYY SYYYY FMYYYY SYYYY", "0005  0005 5 5"},
      {Dt(5, 6, 7), "FMDD-MM-YYYY HH24:MI", "7-6-5 0:0"},
      {Dt(9999, 12, 31, 23, 59, 59), "J SSSSS", "5373484 86399"},
      {Dt(1582, 10, 15), "Day DDD", "Friday    278"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fmt);
    std::string out;
    ASSERT_TRUE(FormatDateTime(c.d, TypeKind::kDate, c.fmt, &out).ok());
    EXPECT_EQ(out, c.expect);
  }
}

TEST(DatetimeToChar, FractionsAndZones) {
  DateTime ts = Dt(2024, 3, 15, 13, 45, 30, 123456789);
  std::string out;
  ASSERT_TRUE(FormatDateTime(ts, TypeKind::kTimestamp, kNlsTimestampFormat, &out).ok());
  EXPECT_EQ(out, "15-MAR-24 01.45.30.123456 PM");
  ASSERT_TRUE(FormatDateTime(ts, TypeKind::kTimestamp, kNlsTimestampFormat, 9, &out).ok());
  EXPECT_EQ(out, "15-MAR-24 01.45.30.123456789 PM");
  ASSERT_TRUE(FormatDateTime(ts, TypeKind::kTimestamp, "SS.FF3|FF1|FF9", &out).ok());
  EXPECT_EQ(out, "30.123|1|123456789");
  ASSERT_TRUE(FormatDateTime(Dt(2024, 1, 1, 0, 0, 0, 5), TypeKind::kTimestamp, "FF", 9, &out).ok());
  EXPECT_EQ(out, "000000005");

  DateTime tz = ts;
  tz.tz_offset_minutes = 330;
  ASSERT_TRUE(FormatDateTime(tz, TypeKind::kTimestampTZ, kNlsTimestampTzFormat, &out).ok());
  EXPECT_EQ(out, "15-MAR-24 01.45.30.123456 PM +05:30");
  tz.tz_offset_minutes = -330;
  ASSERT_TRUE(FormatDateTime(tz, TypeKind::kTimestampTZ, "TZH:TZM TZR", &out).ok());
  EXPECT_EQ(out, "-05:30 -05:30");
  tz.tz_offset_minutes = -30;
  ASSERT_TRUE(FormatDateTime(tz, TypeKind::kTimestampTZ, "TZH:TZM", &out).ok());
  EXPECT_EQ(out, "-00:30");
  tz.tz_offset_minutes = 0;
  tz.tz_region = 42;
  ASSERT_TRUE(FormatDateTime(tz, TypeKind::kTimestampTZ, "HH24 TZR", &out).ok());
  EXPECT_EQ(out, "13 UTC");
}

TEST(DatetimeToChar, ModelErrors) {
  struct Case {
    TypeKind kind;
    const char* fmt;
  } cases[] = {
      {TypeKind::kDate, "YYYY-MM-DD HH24:MI:SS.FF"},  // no fraction in DATE
      {TypeKind::kDate, "TZH"},
      {TypeKind::kTimestamp, "TZR"},
      {TypeKind::kDate, "Bogus"},
      {TypeKind::kDate, "YYYY1"},
      {TypeKind::kDate, "\"unterminated"},
      {TypeKind::kDate, "DDSP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fmt);
    std::string out;
    EXPECT_EQ(FormatDateTime(Dt(2024, 1, 1), c.kind, c.fmt, &out).code(), 1821);
  }
}

TEST(DatetimeToDate, LenientParsing) {
  struct Case {
    const char* text;
    const char* fmt;
    DateTime expect;
  } cases[] = {
      {"15-MAR-24", "DD-MON-RR", Dt(2024, 3, 15)},
      {"15-mar-99", "DD-MON-RR", Dt(1999, 3, 15)},
      {"15-MAR-49", "DD-MON-RR", Dt(2049, 3, 15)},
      {"15-MAR-50", "DD-MON-RR", Dt(1950, 3, 15)},
      {"15-MAR-2024", "DD-MON-RR", Dt(2024, 3, 15)},
      {"15-MAR-99", "DD-MON-YY", Dt(2099, 3, 15)},
      {"15-MAR-1999", "DD-MON-YY", Dt(1999, 3, 15)},
      {"240315", "YYMMDD", Dt(2024, 3, 15)},
      {"2024-3-5", "YYYY-MM-DD", Dt(2024, 3, 5)},
      {"20240305", "YYYY-MM-DD", Dt(2024, 3, 5)},
      {"2024/03/05", "YYYY-MM-DD", Dt(2024, 3, 5)},
      {"2024-03-05", "YYYYMMDD", Dt(2024, 3, 5)},
      {"  2024-03-05  ", "YYYY-MM-DD", Dt(2024, 3, 5)},
      {"24-03-05", "YYYY-MM-DD", Dt(24, 3, 5)},
      {"15-March-2024", "DD-MON-YYYY", Dt(2024, 3, 15)},
      {"15-Mar-2024", "DD-MONTH-YYYY", Dt(2024, 3, 15)},
      {"15-MAR-2024", "DD-MM-YYYY", Dt(2024, 3, 15)},
      {"15 MAR 2024", "DD-MON-YYYY", Dt(2024, 3, 15)},
      {"15MAR2024", "DD-MON-YYYY", Dt(2024, 3, 15)},
      {"2024-01-01", "YYYY-MM-DD HH24:MI:SS", Dt(2024, 1, 1)},
      {"2024-01-01 10", "YYYY-MM-DD HH24:MI:SS", Dt(2024, 1, 1, 10)},
      {"10:30", "HH24:MI", Dt(2026, 12, 1, 10, 30)},
      {"2024", "YYYY", Dt(2024, 12, 1)},
      {"7", "DD", Dt(2026, 12, 7)},
      {"01:30 PM", "HH:MI AM", Dt(2026, 12, 1, 13, 30)},
      {"01:30 pm", "HH:MI A.M.", Dt(2026, 12, 1, 13, 30)},
      {"12:00 AM", "HH12:MI PM", Dt(2026, 12, 1, 0, 0)},
      {"12:00 P.M.", "HH:MI AM", Dt(2026, 12, 1, 12, 0)},
      {"4712-01-01 BC", "YYYY-MM-DD BC", Dt(-4712, 1, 1)},
      {"4712-01-01 b.c.", "YYYY-MM-DD AD", Dt(-4712, 1, 1)},
      {"-4712-01-01", "SYYYY-MM-DD", Dt(-4712, 1, 1)},
      {"01-01--4712", "DD-MM-SYYYY", Dt(-4712, 1, 1)},
      {"2451545", "J", Dt(2000, 1, 1)},
      {"1", "J", Dt(-4712, 1, 1)},
      {"2451545 2000", "J YYYY", Dt(2000, 1, 1)},
      {"2024-060", "YYYY-DDD", Dt(2024, 2, 29)},
      {"49530", "SSSSS", Dt(2026, 12, 1, 13, 45, 30)},
      {"13 49530", "HH24 SSSSS", Dt(2026, 12, 1, 13, 45, 30)},
      {"Friday 15-MAR-2024", "Day DD-MON-YYYY", Dt(2024, 3, 15)},
      {"fri 15-MAR-2024", "DY DD-MON-YYYY", Dt(2024, 3, 15)},
      {"2024-01-01T10:00:00", "YYYY-MM-DD\"T\"HH24:MI:SS", Dt(2024, 1, 1, 10)},
      {"15th March 2024", "DDth Month YYYY", Dt(2024, 3, 15)},
      {"III-2024", "RM-YYYY", Dt(2024, 3, 1)},
      {"viii-2024", "RM-YYYY", Dt(2024, 8, 1)},
      {"2,024-01-01", "Y,YYY-MM-DD", Dt(2024, 1, 1)},
      {"2024-03-05", "FXYYYY-MM-DD", Dt(2024, 3, 5)},
      {"2024-3-5", "FXFMYYYY-MM-DD", Dt(2024, 3, 5)},
      {"5", "Y", Dt(2025, 12, 1)},
      {"999", "YYY", Dt(2999, 12, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + c.fmt);
    DateTime d;
    Status st = ParseDateTime(c.text, c.fmt, TypeKind::kDate, kNow, &d);
    ASSERT_TRUE(st.ok()) << st.text();
    EXPECT_EQ(d, c.expect) << Show(d);
  }
}

TEST(DatetimeToDate, RrCenturyDependsOnTheCurrentYear) {
  DateTime d;
  DateTime late_century = Dt(2060, 6, 1);
  ASSERT_TRUE(ParseDateTime("15-MAR-24", "DD-MON-RR", TypeKind::kDate, late_century, &d).ok());
  EXPECT_EQ(d.year, 2124);
  ASSERT_TRUE(ParseDateTime("15-MAR-70", "DD-MON-RR", TypeKind::kDate, late_century, &d).ok());
  EXPECT_EQ(d.year, 2070);
}

TEST(DatetimeToDate, Errors) {
  struct Case {
    const char* text;
    const char* fmt;
    int code;
  } cases[] = {
      {"2024-01", "YYYY-MM-DD", 1840},
      {"0101", "DDMMYYYY", 1840},
      {"2024-01-01 10", "YYYY-MM-DD", 1830},
      {"2024-01-01x", "YYYY-MM-DD", 1830},
      {"x024-01-01", "YYYY-MM-DD", 1858},
      {"2024-xx-01", "YYYY-MM-DD", 1843},
      {"15-03-2024", "DD-MON-YYYY", 1843},
      {"15-Foo-2024", "DD-MON-YYYY", 1843},
      {"2024-13-01", "YYYY-MM-DD", 1843},
      {"2024-02-30", "YYYY-MM-DD", 1847},
      {"2024-01-32", "YYYY-MM-DD", 1847},
      {"1582-10-10", "YYYY-MM-DD", 1847},
      {"0000-01-01", "YYYY-MM-DD", 1841},
      {"25:00", "HH24:MI", 1850},
      {"13:00", "HH:MI", 1849},
      {"00:00", "HH12:MI", 1849},
      {"10:60", "HH24:MI", 1851},
      {"10:00:60", "HH24:MI:SS", 1852},
      {"86400", "SSSSS", 1853},
      {"2023-366", "YYYY-DDD", 1848},
      {"0", "J", 1854},
      {"5373485", "J", 1854},
      {"2451545 1999", "J YYYY", 1831},
      {"2451545 02", "J MM", 1833},
      {"14 49530", "HH24 SSSSS", 1836},
      {"Funday", "DAY", 1846},
      {"10:00 XM", "HH:MI AM", 1855},
      {"2024 XX", "YYYY AD", 1856},
      {"2024-01-01X10", "YYYY-MM-DD\"T\"HH24", 1861},
      {"2024 2024", "YYYY YYYY", 1810},
      {"2024 24", "YYYY RR", 1812},
      {"03 MAR", "MM MON", 1816},
      {"10 10", "HH HH24", 1813},
      {"10 AM", "HH24 AM", 1818},
      {"1", "Q", 1820},
      {"11", "WW", 1820},
      {"20", "CC", 1820},
      {"1 60", "J DDD", 1811},
      {"1 FRI", "D DY", 1817},
      {"2024-3-5", "FXYYYY-MM-DD", 1862},
      {"2024/03/05", "FXYYYY-MM-DD", 1861},
      {"2024-01-01", "YYYY-MM-DD FF", 1821},  // FF in a DATE model
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + c.fmt);
    DateTime d;
    Status st = ParseDateTime(c.text, c.fmt, TypeKind::kDate, kNow, &d);
    EXPECT_EQ(st.code(), c.code) << st.text();
  }
}

TEST(DatetimeToTimestamp, FractionsAndZones) {
  struct Case {
    const char* text;
    const char* fmt;
    TypeKind kind;
    DateTime expect;
    int code;
  } cases[] = {
      {"2024-01-01 10:00:00.5", "YYYY-MM-DD HH24:MI:SS.FF", TypeKind::kTimestamp,
       Dt(2024, 1, 1, 10, 0, 0, 500000000), 0},
      {"2024-01-01 10:00:00.123456789", "YYYY-MM-DD HH24:MI:SSXFF", TypeKind::kTimestamp,
       Dt(2024, 1, 1, 10, 0, 0, 123456789), 0},
      {"2024-01-01 10:00:00.123", "YYYY-MM-DD HH24:MI:SS.FF3", TypeKind::kTimestamp,
       Dt(2024, 1, 1, 10, 0, 0, 123000000), 0},
      {"2024-01-01 10:00:00.1234", "YYYY-MM-DD HH24:MI:SS.FF3", TypeKind::kTimestamp, DateTime(), 1830},
      {"2024-01-01 10:00:00", "YYYY-MM-DD HH24:MI:SS.FF", TypeKind::kTimestamp, Dt(2024, 1, 1, 10), 0},
      {"15-MAR-24 01.45.30.123456 PM", kNlsTimestampFormat, TypeKind::kTimestamp,
       Dt(2024, 3, 15, 13, 45, 30, 123456000), 0},
      {"2024-01-01 10:00:00 +05:30", "YYYY-MM-DD HH24:MI:SS TZH:TZM", TypeKind::kTimestampTZ,
       Dt(2024, 1, 1, 10, 0, 0, 0, 330), 0},
      {"2024-01-01 10:00:00 -05:30", "YYYY-MM-DD HH24:MI:SS TZH:TZM", TypeKind::kTimestampTZ,
       Dt(2024, 1, 1, 10, 0, 0, 0, -330), 0},
      {"2024-01-01 10:00:00 -00:30", "YYYY-MM-DD HH24:MI:SS TZH:TZM", TypeKind::kTimestampTZ,
       Dt(2024, 1, 1, 10, 0, 0, 0, -30), 0},
      {"2024-01-01 10:00:00 +05:30", "YYYY-MM-DD HH24:MI:SS TZR", TypeKind::kTimestampTZ,
       Dt(2024, 1, 1, 10, 0, 0, 0, 330), 0},
      {"2024-01-01 10:00:00 UTC", "YYYY-MM-DD HH24:MI:SS TZR", TypeKind::kTimestampTZ,
       Dt(2024, 1, 1, 10), 0},
      {"15-MAR-24 01.45.30.5 PM -07:00", kNlsTimestampTzFormat, TypeKind::kTimestampTZ,
       Dt(2024, 3, 15, 13, 45, 30, 500000000, -420), 0},
      {"2024-01-01 10:00:00 Europe/Paris", "YYYY-MM-DD HH24:MI:SS TZR", TypeKind::kTimestampTZ,
       DateTime(), 1882},
      {"2024-01-01 10:00:00 +16:00", "YYYY-MM-DD HH24:MI:SS TZH:TZM", TypeKind::kTimestampTZ,
       DateTime(), 1874},
      {"2024-01-01 10:00:00 +05:60", "YYYY-MM-DD HH24:MI:SS TZH:TZM", TypeKind::kTimestampTZ,
       DateTime(), 1875},
      {"2024-01-01 +05", "YYYY-MM-DD TZH", TypeKind::kTimestamp, DateTime(), 1821},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + c.fmt);
    DateTime d;
    Status st = ParseDateTime(c.text, c.fmt, c.kind, kNow, &d);
    EXPECT_EQ(st.code(), c.code) << st.text();
    if (c.code == 0) {
      EXPECT_EQ(d, c.expect) << Show(d);
    }
  }
}

TEST(DatetimeToTimestampTz, WithoutZoneTakesTheSessionZone) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "America/New_York", 1);
  tzset();
  DateTime d;
  ASSERT_TRUE(ParseDateTime("2024-01-15 12:00", "YYYY-MM-DD HH24:MI", TypeKind::kTimestampTZ, kNow, &d).ok());
  EXPECT_EQ(d.tz_offset_minutes, -300);
  ASSERT_TRUE(ParseDateTime("2024-07-15 12:00", "YYYY-MM-DD HH24:MI", TypeKind::kTimestampTZ, kNow, &d).ok());
  EXPECT_EQ(d.tz_offset_minutes, -240);
  if (old) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

// TO_CHAR then TO_DATE with the same model gives the value back, for
// models that together use every element that can be read.
TEST(DatetimeFormatRoundTrip, EveryReadableElement) {
  const DateTime values[] = {
      Dt(2024, 3, 15, 13, 45, 30), Dt(2024, 2, 29, 0, 0, 0),    Dt(1999, 12, 31, 23, 59, 59),
      Dt(2000, 1, 1, 12, 0, 0),    Dt(1582, 10, 15, 1, 2, 3),   Dt(1582, 10, 4, 23, 0, 1),
      Dt(5, 6, 7, 8, 9, 10),       Dt(1, 1, 1),                 Dt(-1, 12, 31, 23, 59, 59),
      Dt(-4712, 1, 1),             Dt(-753, 4, 21, 6, 30),      Dt(9999, 12, 31, 23, 59, 59),
  };
  const char* with_era[] = {
      "SYYYY-MM-DD HH24:MI:SS",
      "YYYY-MM-DD BC HH24:MI:SS",
      "DD-MON-YYYY A.D. HH:MI:SS AM",
      "FMMonth DD, YYYY B.C. HH12:MI:SS P.M.",
      "J SSSSS",
      "SYYYY DDD HH24 MI SS",
      "DY DD MON YYYY AD HH24:MI:SS",
      "Day DDth Month YYYY bc HH24:MI:SS",
      "SYYYY-RM-DD HH24:MI:SS",
      "FXSYYYY-MM-DD HH24:MI:SS",
      "SYYYY\"y\"MM\"m\"DD\"d\" HH24\"h\"MI\"m\"SS\"s\"",
      "FXFMDD.MM.SYYYY FMHH24:MI:SS",
  };
  for (const DateTime& v : values) {
    for (const char* fmt : with_era) {
      SCOPED_TRACE(Show(v) + " / " + fmt);
      std::string text;
      ASSERT_TRUE(FormatDateTime(v, TypeKind::kDate, fmt, &text).ok());
      DateTime back;
      Status st = ParseDateTime(text, fmt, TypeKind::kDate, kNow, &back);
      ASSERT_TRUE(st.ok()) << text << ": " << st.text();
      EXPECT_EQ(back, v) << text;
    }
  }
  // Models without an era hold AD years only; RR/YY ones a window of years.
  const char* ad_only[] = {"YYYYMMDDHH24MISS", "Y,YYY-MM-DD HH24:MI:SS", "RRRR-MM-DD HH24:MI:SS"};
  for (const DateTime& v : values) {
    if (v.year < 0) continue;
    for (const char* fmt : ad_only) {
      SCOPED_TRACE(Show(v) + " / " + fmt);
      std::string text;
      ASSERT_TRUE(FormatDateTime(v, TypeKind::kDate, fmt, &text).ok());
      DateTime back;
      ASSERT_TRUE(ParseDateTime(text, fmt, TypeKind::kDate, kNow, &back).ok()) << text;
      EXPECT_EQ(back, v) << text;
    }
  }
  const DateTime window[] = {Dt(1950, 1, 1), Dt(1999, 12, 31, 23, 59, 59), Dt(2024, 3, 15, 13, 45, 30),
                             Dt(2049, 12, 31)};
  for (const DateTime& v : window) {
    for (const char* fmt : {"DD-MON-RR HH24:MI:SS", "DD/MM/RR HH.MI.SS AM"}) {
      SCOPED_TRACE(Show(v) + " / " + fmt);
      std::string text;
      ASSERT_TRUE(FormatDateTime(v, TypeKind::kDate, fmt, &text).ok());
      DateTime back;
      ASSERT_TRUE(ParseDateTime(text, fmt, TypeKind::kDate, kNow, &back).ok()) << text;
      EXPECT_EQ(back, v) << text;
    }
  }
}

TEST(DatetimeFormatRoundTrip, TimestampsWithFractionsAndZones) {
  struct Case {
    DateTime v;
    TypeKind kind;
    const char* fmt;
  } cases[] = {
      {Dt(2024, 3, 15, 13, 45, 30, 123456789), TypeKind::kTimestamp, "YYYY-MM-DD HH24:MI:SSXFF9"},
      {Dt(2024, 3, 15, 13, 45, 30, 5), TypeKind::kTimestamp, "YYYY-MM-DD HH24:MI:SS.FF9"},
      {Dt(-4712, 1, 1, 0, 0, 0, 999999999), TypeKind::kTimestamp, "SYYYY-MM-DD HH24:MI:SS.FF9"},
      {Dt(2024, 3, 15, 13, 45, 30, 123456000), TypeKind::kTimestamp, kNlsTimestampFormat},
      {Dt(2024, 3, 15, 13, 45, 30, 120000000, 330), TypeKind::kTimestampTZ, kNlsTimestampTzFormat},
      {Dt(2024, 3, 15, 13, 45, 30, 123456789, -570), TypeKind::kTimestampTZ,
       "YYYY-MM-DD HH24:MI:SS.FF9 TZH:TZM"},
      {Dt(2024, 3, 15, 1, 0, 0, 0, -30), TypeKind::kTimestampTZ, "YYYY-MM-DD HH24:MI:SS TZH:TZM"},
      {Dt(2024, 3, 15, 1, 0, 0, 0, 840), TypeKind::kTimestampTZ, "YYYY-MM-DD HH24:MI:SS TZR"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.v) + " / " + c.fmt);
    std::string text;
    ASSERT_TRUE(FormatDateTime(c.v, c.kind, c.fmt, &text).ok());
    DateTime back;
    Status st = ParseDateTime(text, c.fmt, c.kind, kNow, &back);
    ASSERT_TRUE(st.ok()) << text << ": " << st.text();
    EXPECT_EQ(back, c.v) << text;
  }
}

TEST(DatetimeCompiledFormat, ReusableAndCopyable) {
  DateTimeFormat f;
  ASSERT_TRUE(DateTimeFormat::Compile("\"at\" HH24:MI, DD-MON-YYYY", TypeKind::kDate, &f).ok());
  DateTimeFormat copy = f;  // tokens refer into the copy's own text
  f = DateTimeFormat();
  std::string out;
  ASSERT_TRUE(copy.Format(Dt(2024, 3, 15, 13, 45), 0, &out).ok());
  EXPECT_EQ(out, "at 13:45, 15-MAR-2024");
  DateTime back;
  ASSERT_TRUE(copy.Parse(out, kNow, &back).ok());
  EXPECT_EQ(back, Dt(2024, 3, 15, 13, 45));
  EXPECT_STREQ(DefaultDateTimeFormat(TypeKind::kTimestampTZ), kNlsTimestampTzFormat);
  EXPECT_STREQ(DefaultDateTimeFormat(TypeKind::kDate), kNlsDateFormat);
}

}  // namespace
}  // namespace tabdb
