// binfloat.h - BINARY_FLOAT and BINARY_DOUBLE: Oracle's stored byte form of
// IEEE-754 values, their TO_CHAR text and the parsing of numeric text.
//
// Stored form: the IEEE bits in big-endian order; a value with the sign bit
// clear gets bit 7 of byte 0 set, a value with the sign bit set has every
// byte inverted. These bytes sort with memcmp in numeric order (NaN above
// +Inf). Encoding canonicalises -0 to +0 and every NaN to one quiet NaN, as
// Oracle stores them, so equal values have equal bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/status.h"

namespace tabdb {

constexpr size_t kBinaryFloatBytes = 4;
constexpr size_t kBinaryDoubleBytes = 8;

void EncodeBinaryFloat(float v, uint8_t out[4]);    // 1.0f -> BF 80 00 00
float DecodeBinaryFloat(const uint8_t in[4]);
void EncodeBinaryDouble(double v, uint8_t out[8]);  // 1.0 -> BF F0 00 .. 00
double DecodeBinaryDouble(const uint8_t in[8]);

// Rewrites a stored form received from a client into the canonical one
// (-0 and non-canonical NaNs); `in` and `out` may be the same buffer.
void CanonicalizeBinaryFloat(const uint8_t in[4], uint8_t out[4]);
void CanonicalizeBinaryDouble(const uint8_t in[8], uint8_t out[8]);

// TO_CHAR of the value: "0" for zero (either sign), "Nan", "Inf", "-Inf";
// otherwise scientific notation with the shortest mantissa that reads back
// as the same value (at least one digit after the point) and a signed
// three-digit exponent: 1.5 -> "1.5E+000", -0.0025 -> "-2.5E-003",
// 100 -> "1.0E+002", 0.1f -> "1.0E-001".
std::string BinaryFloatToString(float v);
std::string BinaryDoubleToString(double v);

// Numeric text (blanks around, sign, digits, '.', exponent, as for NUMBER),
// or NaN / Inf / +Inf / -Inf / Infinity in any case; anything else gives
// ORA-01722. Correctly rounded; magnitudes beyond the type's range become
// infinities and those below its smallest subnormal become zero, as IEEE
// conversion does.
Status ParseBinaryDouble(std::string_view text, double* out);
Status ParseBinaryFloat(std::string_view text, float* out);

}  // namespace tabdb
