// errors.h - Oracle error numbers and their texts.
//
// OraError(code, args...) builds a Status whose text is "ORA-" + the number
// in five digits + ": " + the message, with each "%s" of the message filled
// by the next argument, as Oracle words it (11g to 19c).
#pragma once

#include <initializer_list>
#include <string>

#include "util/status.h"

namespace tabdb {

// The message template of an Oracle error number, or nullptr if unknown.
const char* OraMessageTemplate(int code);

// Builds the error; missing arguments leave "%s" empty, extra ones are ignored.
Status OraError(int code, std::initializer_list<std::string> args = {});

// "ORA-NNNNN: " prefix followed by free text (for messages not in the table).
Status OraErrorText(int code, const std::string& message);

// Frequently used numbers, named for readability at call sites.
namespace ora {
constexpr int kUniqueViolated = 1;              // unique constraint (%s.%s) violated
constexpr int kInvalidSqlStatement = 900;
constexpr int kInvalidIdentifier = 904;
constexpr int kMissingExpression = 936;
constexpr int kInvalidCharacter = 911;
constexpr int kNotProperlyEnded = 933;
constexpr int kTableNotExist = 942;
constexpr int kNameAlreadyUsed = 955;
constexpr int kIdentifierTooLong = 972;
constexpr int kNotLoggedOn = 1012;
constexpr int kInvalidLogon = 1017;
constexpr int kInsufficientPrivileges = 1031;
constexpr int kCannotInsertNull = 1400;
constexpr int kNoDataFound = 1403;
constexpr int kFetchedNull = 1405;
constexpr int kFetchedTruncated = 1406;
constexpr int kUserNotExist = 1435;
constexpr int kPrecisionTooLarge = 1438;
constexpr int kInvalidNumber = 1722;
constexpr int kUserDoesNotExist = 1918;
constexpr int kUserConflicts = 1920;
constexpr int kTnsCannotResolve = 12154;
constexpr int kValueTooLarge = 12899;
constexpr int kTruncationOrNullFetch = 24345;
constexpr int kLobFormMismatch = 24806;
}  // namespace ora

}  // namespace tabdb
