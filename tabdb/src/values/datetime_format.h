// datetime_format.h - Oracle datetime format models: TO_CHAR of DATE and
// TIMESTAMP values and TO_DATE / TO_TIMESTAMP / TO_TIMESTAMP_TZ of text,
// with English (AMERICAN) names.
//
// Elements: YYYY SYYYY YYY YY Y Y,YYY RRRR RR IYYY IYY IY I CC SCC Q MM MON
// MONTH RM WW W IW DDD DD D DY DAY J HH HH12 HH24 MI SS SSSSS FF FF1..FF9 X
// AM PM A.M. P.M. AD BC A.D. B.C. TZH TZM TZR TZD, the TH suffix on numeric
// elements, "quoted text", punctuation, and the FM/FX modifiers (each
// toggles). Names follow the element's case: MON -> MAR, Mon -> Mar,
// mon -> mar. Without FM, MONTH and DAY are padded to 9 characters and
// numbers keep their leading zeros.
//
// Parsing follows Oracle's lenient rules unless FX is on: any run of
// punctuation in the text matches any punctuation in the model (or none),
// numbers may have fewer digits than their element, MM/MON/MONTH accept one
// another's forms, YY/RR accept a four-digit year, trailing time fields may
// be left out. Missing date parts default to the current year and month and
// day 1; the time to midnight.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/status.h"
#include "values/datetime.h"
#include "values/types.h"

namespace tabdb {

// Default NLS formats of an AMERICAN_AMERICA session.
constexpr const char* kNlsDateFormat = "DD-MON-RR";
constexpr const char* kNlsTimestampFormat = "DD-MON-RR HH.MI.SSXFF AM";
constexpr const char* kNlsTimestampTzFormat = "DD-MON-RR HH.MI.SSXFF AM TZR";

// The session default format for a datetime kind (LTZ uses the TIMESTAMP one).
const char* DefaultDateTimeFormat(TypeKind kind);

// A compiled format model, reusable for many values.
class DateTimeFormat {
 public:
  // ORA-01821 for an unknown element or one the kind cannot have (FF on
  // DATE, zone elements without a time zone). Parse-only restrictions
  // (ORA-01820, duplicates) are reported by Parse.
  static Status Compile(std::string_view fmt, TypeKind kind, DateTimeFormat* out);

  // TO_CHAR. FF without digits prints `fractional_digits` (the value's
  // type precision) digits; fractions are truncated, not rounded. Replaces
  // *out.
  Status Format(const DateTime& d, int fractional_digits, std::string* out) const;

  // TO_DATE/TO_TIMESTAMP(_TZ). `now` supplies the default year and month
  // (and the RR/YY century). WITH TIME ZONE and LOCAL TIME ZONE results
  // without zone elements get the session zone's offset at that time.
  // Errors: ORA-01861 literal mismatch, 01830 text left over, 01840 text
  // ended before a date field, 01858 non-numeric, 01843 month, 01846 day
  // name, 01847/01848/01849/01850/01851/01852/01853 ranges, 01810/01812/
  // 01813/01816/01817/01818/01811 repeated or conflicting elements, 01820
  // output-only element, 01831..01838 conflicts, 01862 FX length, 01874/
  // 01875/01882 zones.
  Status Parse(std::string_view text, const DateTime& now, DateTime* d) const;

  struct Token {
    uint8_t el = 0;        // element (datetime_format.cpp)
    uint8_t letter_case = 0;  // 0 upper, 1 initcap, 2 lower
    uint8_t digits = 0;    // FFn: n; 0 = the type's precision
    bool dotted = false;   // A.M. / B.C. forms
    bool th = false;       // TH suffix
    bool th_upper = true;
    bool fill = false;     // FM in force
    bool exact = false;    // FX in force
    uint32_t pos = 0, len = 0;  // quoted text or punctuation: a span of text_
  };

 private:
  TypeKind kind_ = TypeKind::kDate;
  std::string_view TextOf(const Token& t) const { return std::string_view(text_).substr(t.pos, t.len); }

  std::string text_;  // a copy of the model, which tokens refer into
  std::vector<Token> tokens_;
};

// TO_CHAR with fractional precision 6 (the TIMESTAMP default); *out replaced.
Status FormatDateTime(const DateTime& d, TypeKind kind, std::string_view fmt, std::string* out);
Status FormatDateTime(const DateTime& d, TypeKind kind, std::string_view fmt,
                      int fractional_digits, std::string* out);
// TO_DATE / TO_TIMESTAMP / TO_TIMESTAMP_TZ with the current local time as `now`.
Status ParseDateTime(std::string_view text, std::string_view fmt, TypeKind kind, DateTime* d);
Status ParseDateTime(std::string_view text, std::string_view fmt, TypeKind kind,
                     const DateTime& now, DateTime* d);

}  // namespace tabdb
