// interval_test.cpp - INTERVAL YEAR TO MONTH / DAY TO SECOND byte forms,
// literals, precision fitting, display and date arithmetic.
#include "values/interval.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace tabdb {
namespace {

using F = IntervalField;

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

IntervalDS Ds(int64_t d, int h, int m, int s, int32_t ns) {
  IntervalDS v;
  v.days = d;
  v.hours = h;
  v.minutes = m;
  v.seconds = s;
  v.nanos = ns;
  return v;
}

IntervalYM Ym(int64_t y, int m) {
  IntervalYM v;
  v.years = y;
  v.months = m;
  return v;
}

DateTime Dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, uint32_t ns = 0) {
  DateTime v;
  v.year = y;
  v.month = mo;
  v.day = d;
  v.hour = h;
  v.minute = mi;
  v.second = s;
  v.nanos = ns;
  return v;
}

TEST(IntervalBytes, WorkedExamples) {
  struct YmCase {
    IntervalYM v;
    const char* bytes;
  } ym[] = {
      {Ym(1, 2), "80 00 00 01 3E"},
      {Ym(-1, -2), "7F FF FF FF 3A"},
      {Ym(0, 0), "80 00 00 00 3C"},
      {Ym(999999999, 11), "BB 9A C9 FF 47"},
  };
  for (const YmCase& c : ym) {
    SCOPED_TRACE(c.bytes);
    uint8_t out[5];
    EncodeIntervalYM(c.v, out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 5), Hex(c.bytes));
    IntervalYM back;
    ASSERT_TRUE(DecodeIntervalYM(out, 5, &back).ok());
    EXPECT_EQ(back, c.v);
  }
  struct DsCase {
    IntervalDS v;
    const char* bytes;
  } ds[] = {
      {Ds(3, 4, 5, 6, 789000000), "80 00 00 03 40 41 42 AF 07 2F 40"},
      {Ds(-3, -4, -5, -6, -789000000), "7F FF FF FD 38 37 36 50 F8 D0 C0"},
      {Ds(0, 0, 0, 0, 0), "80 00 00 00 3C 3C 3C 80 00 00 00"},
  };
  for (const DsCase& c : ds) {
    SCOPED_TRACE(c.bytes);
    uint8_t out[11];
    EncodeIntervalDS(c.v, out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 11), Hex(c.bytes));
    IntervalDS back;
    ASSERT_TRUE(DecodeIntervalDS(out, 11, &back).ok());
    EXPECT_EQ(back, c.v);
  }
}

TEST(IntervalBytes, DecodingAddsMixedSignsAndRejectsMalformed) {
  IntervalDS ds;
  // days -1 with +12 hours (as some drivers send) is minus twelve hours.
  std::vector<uint8_t> mixed = Hex("7F FF FF FF 48 3C 3C 80 00 00 00");
  ASSERT_TRUE(DecodeIntervalDS(mixed.data(), 11, &ds).ok());
  EXPECT_EQ(ds, Ds(0, -12, 0, 0, 0));
  // +1 second with -0.25 s of nanos.
  std::vector<uint8_t> mixed_nanos = Hex("80 00 00 00 3C 3C 3D 71 19 4D 80");
  ASSERT_TRUE(DecodeIntervalDS(mixed_nanos.data(), 11, &ds).ok());
  EXPECT_EQ(ds, Ds(0, 0, 0, 0, 750000000));
  IntervalYM ym;
  std::vector<uint8_t> mixed_ym = Hex("80 00 00 01 37");  // +1 year -5 months
  ASSERT_TRUE(DecodeIntervalYM(mixed_ym.data(), 5, &ym).ok());
  EXPECT_EQ(ym, Ym(0, 7));

  const char* bad_ds[] = {
      "80 00 00 00 54 3C 3C 80 00 00 00",  // hours +24
      "80 00 00 00 3C 78 3C 80 00 00 00",  // minutes +60
      "80 00 00 00 3C 3C 00 80 00 00 00",  // seconds -60
      "80 00 00 00 3C 3C 3C BB 9A CA 00",  // nanos 1e9
      "80 00 00 00 3C 3C 3C 80 00 00",     // 10 bytes
  };
  for (const char* b : bad_ds) {
    SCOPED_TRACE(b);
    std::vector<uint8_t> v = Hex(b);
    EXPECT_EQ(DecodeIntervalDS(v.data(), v.size(), &ds).code(), 1891);
  }
  const char* bad_ym[] = {"80 00 00 00 48", "80 00 00 00", "C0 00 00 00 3C"};  // months 12, 4 bytes, 2^30 years
  for (const char* b : bad_ym) {
    SCOPED_TRACE(b);
    std::vector<uint8_t> v = Hex(b);
    EXPECT_EQ(DecodeIntervalYM(v.data(), v.size(), &ym).code(), 1891);
  }
}

TEST(IntervalBytes, EncodingNormalisesFirst) {
  uint8_t a[11], b[11];
  EncodeIntervalYM(Ym(1, 14), a);
  EncodeIntervalYM(Ym(2, 2), b);
  EXPECT_EQ(std::vector<uint8_t>(a, a + 5), std::vector<uint8_t>(b, b + 5));
  EncodeIntervalYM(Ym(1, -14), a);  // mixed signs: -2 months
  EncodeIntervalYM(Ym(0, -2), b);
  EXPECT_EQ(std::vector<uint8_t>(a, a + 5), std::vector<uint8_t>(b, b + 5));
  EncodeIntervalDS(Ds(1, -25, 0, 0, 0), a);  // one day minus 25 hours
  EncodeIntervalDS(Ds(0, -1, 0, 0, 0), b);
  EXPECT_EQ(std::vector<uint8_t>(a, a + 11), std::vector<uint8_t>(b, b + 11));
  EncodeIntervalDS(Ds(0, 0, 0, 1, -250000000), a);
  EncodeIntervalDS(Ds(0, 0, 0, 0, 750000000), b);
  EXPECT_EQ(std::vector<uint8_t>(a, a + 11), std::vector<uint8_t>(b, b + 11));
}

TEST(IntervalLiterals, YearToMonth) {
  struct Case {
    const char* text;
    F from, to;
    int lp;
    IntervalYM expect;
    int code;
  } cases[] = {
      {"1-2", F::kYear, F::kMonth, 2, Ym(1, 2), 0},
      {"-1-2", F::kYear, F::kMonth, 2, Ym(-1, -2), 0},
      {"+1-2", F::kYear, F::kMonth, 2, Ym(1, 2), 0},
      {" 1-2 ", F::kYear, F::kMonth, 2, Ym(1, 2), 0},
      {"5", F::kYear, F::kYear, 2, Ym(5, 0), 0},
      {"30", F::kMonth, F::kMonth, 2, Ym(2, 6), 0},
      {"-30", F::kMonth, F::kMonth, 2, Ym(-2, -6), 0},
      {"999", F::kMonth, F::kMonth, 3, Ym(83, 3), 0},
      {"999999999-11", F::kYear, F::kMonth, 9, Ym(999999999, 11), 0},
      {"100-0", F::kYear, F::kMonth, 2, IntervalYM(), 1873},
      {"100", F::kMonth, F::kMonth, 2, IntervalYM(), 1873},
      {"99999999999999999999", F::kYear, F::kYear, 9, IntervalYM(), 1873},
      {"1-12", F::kYear, F::kMonth, 2, IntervalYM(), 1843},
      {"1-", F::kYear, F::kMonth, 2, IntervalYM(), 1867},
      {"1-2", F::kYear, F::kYear, 2, IntervalYM(), 1867},
      {"abc", F::kYear, F::kMonth, 2, IntervalYM(), 1867},
      {"", F::kYear, F::kYear, 2, IntervalYM(), 1867},
      {"1-2", F::kMonth, F::kYear, 2, IntervalYM(), 1867},
      {"1", F::kDay, F::kDay, 2, IntervalYM(), 1867},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    IntervalYM v;
    Status st = ParseIntervalYM(c.text, c.from, c.to, c.lp, &v);
    EXPECT_EQ(st.code(), c.code) << st.text();
    if (c.code == 0) {
      EXPECT_EQ(v, c.expect);
    }
  }
}

TEST(IntervalLiterals, DayToSecond) {
  struct Case {
    const char* text;
    F from, to;
    int lp, fp;
    IntervalDS expect;
    int code;
  } cases[] = {
      {"3 04:05:06.789", F::kDay, F::kSecond, 2, 6, Ds(3, 4, 5, 6, 789000000), 0},
      {"-3 04:05:06.789", F::kDay, F::kSecond, 2, 6, Ds(-3, -4, -5, -6, -789000000), 0},
      {"3 04:05:06", F::kDay, F::kSecond, 2, 6, Ds(3, 4, 5, 6, 0), 0},
      {"3  4:5:6", F::kDay, F::kSecond, 2, 6, Ds(3, 4, 5, 6, 0), 0},
      {"04:05", F::kHour, F::kMinute, 2, 6, Ds(0, 4, 5, 0, 0), 0},
      {"75.5", F::kSecond, F::kSecond, 2, 6, Ds(0, 0, 1, 15, 500000000), 0},
      {"30", F::kHour, F::kHour, 2, 6, Ds(1, 6, 0, 0, 0), 0},
      {"3 12", F::kDay, F::kHour, 2, 6, Ds(3, 12, 0, 0, 0), 0},
      {"3 12:30", F::kDay, F::kMinute, 2, 6, Ds(3, 12, 30, 0, 0), 0},
      {"90:30", F::kMinute, F::kSecond, 2, 6, Ds(0, 1, 30, 30, 0), 0},
      {"1.1234567", F::kSecond, F::kSecond, 2, 3, Ds(0, 0, 0, 1, 123000000), 0},
      {"1.1235", F::kSecond, F::kSecond, 2, 3, Ds(0, 0, 0, 1, 124000000), 0},
      {"-0.0000005", F::kSecond, F::kSecond, 2, 6, Ds(0, 0, 0, 0, -1000), 0},
      {"999999999 23:59:59.999999999", F::kDay, F::kSecond, 9, 9, Ds(999999999, 23, 59, 59, 999999999), 0},
      {"99.9999999", F::kSecond, F::kSecond, 2, 6, IntervalDS(), 1873},
      {"100 00:00:00", F::kDay, F::kSecond, 2, 6, IntervalDS(), 1873},
      {"1 24:00:00", F::kDay, F::kSecond, 2, 6, IntervalDS(), 1850},
      {"1 00:60:00", F::kDay, F::kSecond, 2, 6, IntervalDS(), 1851},
      {"1 00:00:60", F::kDay, F::kSecond, 2, 6, IntervalDS(), 1852},
      {"1 2", F::kDay, F::kSecond, 2, 6, IntervalDS(), 1867},
      {"1:2", F::kDay, F::kMinute, 2, 6, IntervalDS(), 1867},
      {"1 02:003:00", F::kDay, F::kSecond, 2, 6, IntervalDS(), 1867},
      {"1 02:03.5", F::kDay, F::kMinute, 2, 6, IntervalDS(), 1867},
      {"1.", F::kSecond, F::kSecond, 2, 6, IntervalDS(), 1867},
      {"1.1234567891", F::kSecond, F::kSecond, 2, 9, IntervalDS(), 1867},
      {"1", F::kSecond, F::kDay, 2, 6, IntervalDS(), 1867},
      {"1", F::kYear, F::kYear, 2, 6, IntervalDS(), 1867},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    IntervalDS v;
    Status st = ParseIntervalDS(c.text, c.from, c.to, c.lp, c.fp, &v);
    EXPECT_EQ(st.code(), c.code) << st.text();
    if (c.code == 0) {
      EXPECT_EQ(v, c.expect) << IntervalDSToString(v, 9, 9);
    }
  }
}

TEST(IntervalFit, RoundsAndChecksPrecision) {
  IntervalDS v = Ds(0, 0, 0, 59, 999999500);
  ASSERT_TRUE(FitIntervalDS(&v, 2, 6).ok());
  EXPECT_EQ(v, Ds(0, 0, 1, 0, 0));
  v = Ds(0, 0, 0, -59, -999999500);
  ASSERT_TRUE(FitIntervalDS(&v, 2, 6).ok());
  EXPECT_EQ(v, Ds(0, 0, -1, 0, 0));
  v = Ds(0, 0, 0, 1, 1500);
  ASSERT_TRUE(FitIntervalDS(&v, 2, 6).ok());
  EXPECT_EQ(v, Ds(0, 0, 0, 1, 2000));
  v = Ds(0, 25, 0, 0, 0);  // unnormalised input
  ASSERT_TRUE(FitIntervalDS(&v, 2, 6).ok());
  EXPECT_EQ(v, Ds(1, 1, 0, 0, 0));
  v = Ds(99, 23, 59, 59, 999999999);
  EXPECT_EQ(FitIntervalDS(&v, 2, 6).code(), 1873);  // rounds up to 100 days
  v = Ds(99, 23, 59, 59, 999999999);
  ASSERT_TRUE(FitIntervalDS(&v, 2, 9).ok());

  IntervalYM ym = Ym(1, 14);
  ASSERT_TRUE(FitIntervalYM(&ym, 2).ok());
  EXPECT_EQ(ym, Ym(2, 2));
  ym = Ym(100, 0);
  EXPECT_EQ(FitIntervalYM(&ym, 2).code(), 1873);
  ym = Ym(-99, -11);
  ASSERT_TRUE(FitIntervalYM(&ym, 2).ok());
  ym = Ym(5, 0);
  EXPECT_EQ(FitIntervalYM(&ym, 0).code(), 1873);
}

TEST(IntervalDisplay, OracleForm) {
  EXPECT_EQ(IntervalYMToString(Ym(1, 2), 2), "+01-02");
  EXPECT_EQ(IntervalYMToString(Ym(-1, -2), 2), "-01-02");
  EXPECT_EQ(IntervalYMToString(Ym(0, -2), 2), "-00-02");
  EXPECT_EQ(IntervalYMToString(Ym(0, 0), 2), "+00-00");
  EXPECT_EQ(IntervalYMToString(Ym(1, 2), 4), "+0001-02");
  EXPECT_EQ(IntervalYMToString(Ym(123, 0), 2), "+123-00");
  EXPECT_EQ(IntervalDSToString(Ds(3, 4, 5, 6, 789000000), 2, 6), "+03 04:05:06.789000");
  EXPECT_EQ(IntervalDSToString(Ds(-3, -4, -5, -6, -789000000), 2, 6), "-03 04:05:06.789000");
  EXPECT_EQ(IntervalDSToString(Ds(0, 0, 0, 0, -1000), 2, 6), "-00 00:00:00.000001");
  EXPECT_EQ(IntervalDSToString(Ds(3, 4, 5, 6, 789000000), 2, 0), "+03 04:05:06");
  EXPECT_EQ(IntervalDSToString(Ds(0, 0, 0, 0, 0), 9, 9), "+000000000 00:00:00.000000000");
}

TEST(IntervalArithmetic, AddToDates) {
  struct YmCase {
    DateTime d;
    IntervalYM v;
    DateTime expect;
    int code;
  } ym[] = {
      {Dt(2024, 1, 15, 10), Ym(1, 1), Dt(2025, 2, 15, 10), 0},
      {Dt(2024, 3, 31), Ym(0, -1), Dt(2024, 2, 31), 1839},
      {Dt(2024, 1, 31), Ym(0, 1), DateTime(), 1839},  // unlike ADD_MONTHS
      {Dt(2024, 2, 29), Ym(1, 0), DateTime(), 1839},
      {Dt(2024, 2, 29), Ym(4, 0), Dt(2028, 2, 29), 0},
      {Dt(-1, 12, 15), Ym(0, 1), Dt(1, 1, 15), 0},
      {Dt(1582, 9, 10), Ym(0, 1), DateTime(), 1839},
      {Dt(9999, 12, 1), Ym(0, 1), DateTime(), 1841},
      {Dt(2024, 1, 1), Ym(999999999, 0), DateTime(), 1841},
  };
  for (const YmCase& c : ym) {
    DateTime r;
    EXPECT_EQ(AddIntervalYM(c.d, c.v, &r).code(), c.code);
    if (c.code == 0) {
      EXPECT_EQ(r, c.expect);
    }
  }
  DateTime r;
  ASSERT_TRUE(AddIntervalDS(Dt(2024, 3, 15, 13, 45, 30), Ds(1, 10, 14, 30, 500000000), &r).ok());
  EXPECT_EQ(r, Dt(2024, 3, 17, 0, 0, 0, 500000000));
  ASSERT_TRUE(AddIntervalDS(Dt(2024, 3, 1), Ds(0, 0, 0, -1, -500000000), &r).ok());
  EXPECT_EQ(r, Dt(2024, 2, 29, 23, 59, 58, 500000000));
  EXPECT_EQ(AddIntervalDS(Dt(9999, 12, 31), Ds(1, 0, 0, 0, 0), &r).code(), 1841);
}

int BlobCompare(const uint8_t* a, size_t na, const uint8_t* b, size_t nb) {
  int c = std::memcmp(a, b, std::min(na, nb));
  if (c != 0) return c < 0 ? -1 : 1;
  return na < nb ? -1 : (na > nb ? 1 : 0);
}

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

TEST(IntervalSortOrder, EncodedBytesSortByValue) {
  std::mt19937_64 rng(182183);
  auto leading = [&rng]() -> int64_t {
    switch (rng() % 3) {
      case 0: return static_cast<int64_t>(rng() % 3) - 1;
      case 1: return static_cast<int64_t>(rng() % 200) - 100;
      default: return static_cast<int64_t>(rng() % 1999999999) - 999999999;
    }
  };
  for (int i = 0; i < 100000; ++i) {
    int64_t ma = leading() * 12 + static_cast<int64_t>(rng() % 23) - 11;
    int64_t mb = leading() * 12 + static_cast<int64_t>(rng() % 23) - 11;
    IntervalYM a, b;
    a.years = ma / 12, a.months = static_cast<int>(ma % 12);
    b.years = mb / 12, b.months = static_cast<int>(mb % 12);
    uint8_t ea[5], eb[5];
    EncodeIntervalYM(a, ea);
    EncodeIntervalYM(b, eb);
    ASSERT_EQ(BlobCompare(ea, 5, eb, 5), Sign(ma, mb)) << ma << " vs " << mb;

    // DAY TO SECOND: compare as (seconds, nanos) totals of the same sign.
    auto random_ds = [&](int64_t* secs, int64_t* nanos) {
      IntervalDS v = Ds(leading(), static_cast<int>(rng() % 24), static_cast<int>(rng() % 60),
                        static_cast<int>(rng() % 60), static_cast<int32_t>(rng() % 3 == 0 ? 0 : rng() % 1000000000));
      bool neg = v.days < 0 || (v.days == 0 && rng() % 2);
      if (neg) {
        v.days = -(v.days < 0 ? -v.days : v.days);
        v.hours = -v.hours, v.minutes = -v.minutes, v.seconds = -v.seconds, v.nanos = -v.nanos;
      }
      *secs = v.days * 86400 + v.hours * 3600 + v.minutes * 60 + v.seconds;
      *nanos = v.nanos;
      return v;
    };
    int64_t sa, na, sb, nb;
    IntervalDS da = random_ds(&sa, &na), db = random_ds(&sb, &nb);
    uint8_t fa[11], fb[11];
    EncodeIntervalDS(da, fa);
    EncodeIntervalDS(db, fb);
    int expect = sa != sb ? Sign(sa, sb) : Sign(na, nb);
    ASSERT_EQ(BlobCompare(fa, 11, fb, 11), expect)
        << IntervalDSToString(da, 9, 9) << " vs " << IntervalDSToString(db, 9, 9);
  }
}

}  // namespace
}  // namespace tabdb
