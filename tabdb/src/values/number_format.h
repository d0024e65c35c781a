// number_format.h - Oracle number format models: TO_CHAR(number, fmt) and
// TO_NUMBER(text, fmt).
//
// Elements (letters in either case): 9 0 . , D G $ B S (first or last) MI PR
// FM EEEE V X (hex; 0 and FM may accompany it) and the whole-model forms
// TM, TM9, TME. The decimal character is '.' and the group separator ','
// (NLS_NUMERIC_CHARACTERS of AMERICAN). Not supported (ORA-01481): L C U RN.
//
// Output follows Oracle's layout: the result is as wide as the model, plus
// one leading column for the sign when the model has no S, MI or PR; the
// sign, '$' and '<' stand right before the first printed digit; leading '9'
// positions print as blanks and every position from the leftmost '0' on
// prints a zero; EEEE takes five columns (room for a three-digit exponent,
// "  1.2E+02" for '9.9EEEE'); a value with a zero integer part prints no integer digit
// unless the model has no fraction digits ("   0" for TO_CHAR(0,'999')).
// FM drops the padding blanks and the trailing zeros that stand on '9'
// positions after the decimal point. A value whose integer part has more
// digits than the model allows prints as the model's width of '#'. The sign
// comes from the value before rounding, so TO_CHAR(-0.001,'0.00') is
// "-0.00" as in Oracle.
#pragma once

#include <string>
#include <string_view>

#include "util/status.h"
#include "values/number.h"

namespace tabdb {

// TO_CHAR(n, fmt). A malformed model -> ORA-01481.
Status NumberToChar(const Number& n, std::string_view fmt, std::string* out);

// TO_NUMBER(text, fmt): the text must match the model (sign where the model
// puts it, group separators where the model has them, no more integer or
// fraction digits than it has positions); otherwise ORA-01722. A malformed
// model -> ORA-01481.
Status NumberFromChar(std::string_view text, std::string_view fmt, Number* out);

}  // namespace tabdb
