// binfloat_test.cpp - BINARY_FLOAT / BINARY_DOUBLE stored bytes, their
// ordering, TO_CHAR text and the parsing of numeric text.
#include "values/binfloat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "util/errors.h"

namespace tabdb {
namespace {

std::string Hex(const uint8_t* p, size_t n) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += d[p[i] >> 4];
    s += d[p[i] & 15];
  }
  return s;
}

std::string FloatBytes(float v) {
  uint8_t b[4];
  EncodeBinaryFloat(v, b);
  return Hex(b, 4);
}

std::string DoubleBytes(double v) {
  uint8_t b[8];
  EncodeBinaryDouble(v, b);
  return Hex(b, 8);
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr float kInfF = std::numeric_limits<float>::infinity();

TEST(BinaryFloatBytes, ReferenceExamples) {
  struct F {
    float v;
    const char* bytes;
  } floats[] = {{1.0f, "BF 80 00 00"}, {-1.0f, "40 7F FF FF"}, {0.0f, "80 00 00 00"},
                {2.5f, "C0 20 00 00"}, {kInfF, "FF 80 00 00"}, {-kInfF, "00 7F FF FF"}};
  for (const auto& c : floats) {
    EXPECT_EQ(FloatBytes(c.v), c.bytes) << c.v;
    uint8_t b[4];
    EncodeBinaryFloat(c.v, b);
    EXPECT_EQ(DecodeBinaryFloat(b), c.v);
  }
  struct D {
    double v;
    const char* bytes;
  } doubles[] = {{1.0, "BF F0 00 00 00 00 00 00"},
                 {-1.0, "40 0F FF FF FF FF FF FF"},
                 {2.5, "C0 04 00 00 00 00 00 00"}};
  for (const auto& c : doubles) {
    EXPECT_EQ(DoubleBytes(c.v), c.bytes) << c.v;
    uint8_t b[8];
    EncodeBinaryDouble(c.v, b);
    EXPECT_EQ(DecodeBinaryDouble(b), c.v);
  }
}

TEST(BinaryFloatBytes, NegativeZeroAndNaNAreCanonical) {
  EXPECT_EQ(FloatBytes(-0.0f), "80 00 00 00");
  EXPECT_EQ(DoubleBytes(-0.0), "80 00 00 00 00 00 00 00");
  // Every NaN, whatever its sign or payload, stores the same bytes.
  const std::string nan_bytes = DoubleBytes(std::numeric_limits<double>::quiet_NaN());
  uint64_t payloads[] = {0x7FF0000000000001ull, 0xFFF8000000000000ull, 0x7FFFFFFFFFFFFFFFull};
  for (uint64_t bits : payloads) {
    double v;
    std::memcpy(&v, &bits, 8);
    EXPECT_EQ(DoubleBytes(v), nan_bytes);
  }
  uint32_t fbits = 0xFFC00001u;
  float fnan;
  std::memcpy(&fnan, &fbits, 4);
  EXPECT_EQ(FloatBytes(fnan), FloatBytes(std::numeric_limits<float>::quiet_NaN()));
  // A client's non-canonical bytes are rewritten.
  uint8_t neg_zero[8] = {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  CanonicalizeBinaryDouble(neg_zero, neg_zero);
  EXPECT_EQ(Hex(neg_zero, 8), "80 00 00 00 00 00 00 00");
  uint8_t fz[4] = {0x7F, 0xFF, 0xFF, 0xFF};
  CanonicalizeBinaryFloat(fz, fz);
  EXPECT_EQ(Hex(fz, 4), "80 00 00 00");
}

TEST(BinaryFloatBytes, BytesSortLikeValuesAndRoundTrip) {
  std::mt19937_64 g(12345);
  std::vector<double> vals = {0.0, -kInf, kInf, std::numeric_limits<double>::denorm_min(),
                              -std::numeric_limits<double>::denorm_min(),
                              std::numeric_limits<double>::max(), -std::numeric_limits<double>::max()};
  for (int i = 0; i < 2000; ++i) {
    uint64_t bits = g();
    double v;
    std::memcpy(&v, &bits, 8);
    if (std::isnan(v)) continue;
    vals.push_back(v);
  }
  for (double a : vals) {
    uint8_t ea[8];
    EncodeBinaryDouble(a, ea);
    ASSERT_EQ(DecodeBinaryDouble(ea), a);
    float fa = static_cast<float>(a);
    uint8_t fea[4];
    EncodeBinaryFloat(fa, fea);
    ASSERT_EQ(DecodeBinaryFloat(fea), fa);
    for (double b : {vals[0], vals[1], vals[2], vals[3], vals[4], vals[vals.size() / 2]}) {
      uint8_t eb[8];
      EncodeBinaryDouble(b, eb);
      int c = std::memcmp(ea, eb, 8);
      ASSERT_EQ(c < 0, a < b) << a << " " << b;
      ASSERT_EQ(c == 0, a == b) << a << " " << b;
      uint8_t feb[4];
      EncodeBinaryFloat(static_cast<float>(b), feb);
      c = std::memcmp(fea, feb, 4);
      ASSERT_EQ(c < 0, fa < static_cast<float>(b));
    }
  }
  // NaN sorts above +Inf.
  uint8_t n[8], inf[8];
  EncodeBinaryDouble(std::nan(""), n);
  EncodeBinaryDouble(kInf, inf);
  EXPECT_GT(std::memcmp(n, inf, 8), 0);
}

TEST(BinaryFloatText, ToChar) {
  struct D {
    double v;
    const char* text;
  } doubles[] = {
      {1.5, "1.5E+000"},   {-0.0025, "-2.5E-003"}, {100, "1.0E+002"},  {0.0, "0"},
      {-0.0, "0"},         {1e300, "1.0E+300"},    {0.1, "1.0E-001"},  {-1.0, "-1.0E+000"},
      {5e-324, "5.0E-324"}, {123456789.125, "1.23456789125E+008"},
      {std::nan(""), "Nan"}, {kInf, "Inf"},        {-kInf, "-Inf"},
  };
  for (const auto& c : doubles) EXPECT_EQ(BinaryDoubleToString(c.v), c.text) << c.v;
  struct F {
    float v;
    const char* text;
  } floats[] = {{1.5f, "1.5E+000"}, {0.1f, "1.0E-001"}, {-2.5e-3f, "-2.5E-003"},
                {std::numeric_limits<float>::max(), "3.4028235E+038"}, {0.0f, "0"},
                {-kInfF, "-Inf"}, {std::nanf(""), "Nan"}};
  for (const auto& c : floats) EXPECT_EQ(BinaryFloatToString(c.v), c.text) << c.v;
}

TEST(BinaryFloatText, Parse) {
  struct Case {
    const char* text;
    double want;
  } ok[] = {
      {"1.5", 1.5},       {" -2.5e-3 ", -2.5e-3}, {"+7", 7},        {".5", 0.5},
      {"5.", 5},          {"1E+000", 1},          {"1.5E+000", 1.5}, {"INF", kInf},
      {"-inf", -kInf},    {"+Inf", kInf},         {"Infinity", kInf}, {"1e400", kInf},
      {"-1e400", -kInf},  {"1e-400", 0},          {"0.1", 0.1},
  };
  for (const auto& c : ok) {
    double v = -12345;
    ASSERT_TRUE(ParseBinaryDouble(c.text, &v).ok()) << c.text;
    EXPECT_EQ(v, c.want) << c.text;
  }
  double v;
  ASSERT_TRUE(ParseBinaryDouble("nAn", &v).ok());
  EXPECT_TRUE(std::isnan(v));
  for (const char* bad : {"", " ", "abc", "1..2", "0x10", "nan(1)", "infx", "-nan", "1e", "+-1",
                          "1,5", "1.5d", "e3", "."}) {
    EXPECT_EQ(ParseBinaryDouble(bad, &v).code(), ora::kInvalidNumber) << bad;
  }
  float f;
  ASSERT_TRUE(ParseBinaryFloat("16777217", &f).ok());  // correctly rounded to float
  EXPECT_EQ(f, 16777216.0f);
  ASSERT_TRUE(ParseBinaryFloat("1e39", &f).ok());
  EXPECT_EQ(f, kInfF);
  ASSERT_TRUE(ParseBinaryFloat("0.1", &f).ok());
  EXPECT_EQ(f, 0.1f);
  EXPECT_EQ(ParseBinaryFloat("x", &f).code(), ora::kInvalidNumber);
}

TEST(BinaryFloatText, PrintedTextReadsBack) {
  std::mt19937_64 g(777);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = g();
    double d;
    std::memcpy(&d, &bits, 8);
    if (std::isnan(d)) continue;
    double back;
    ASSERT_TRUE(ParseBinaryDouble(BinaryDoubleToString(d), &back).ok()) << BinaryDoubleToString(d);
    ASSERT_EQ(back, d) << BinaryDoubleToString(d);
    float f = static_cast<float>(d), fback;
    if (std::isnan(f)) continue;
    ASSERT_TRUE(ParseBinaryFloat(BinaryFloatToString(f), &fback).ok());
    ASSERT_EQ(fback, f) << BinaryFloatToString(f);
  }
}

}  // namespace
}  // namespace tabdb
