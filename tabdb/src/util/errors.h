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
// OCI client layer and LOB store.
constexpr int kInternalError = 600;             // internal error code, arguments: [%s]
constexpr int kInconsistentDatatypes = 932;     // inconsistent datatypes: expected %s got %s
constexpr int kFetchOutOfSequence = 1002;       // fetch out of sequence
constexpr int kNotInSelectList = 1007;          // variable not in select list
constexpr int kNotAllVariablesBound = 1008;     // not all variables bound
constexpr int kIllegalVariableName = 1036;      // illegal variable name/number
constexpr int kIntegerOverflow = 1455;          // converting column overflows integer datatype
constexpr int kNotConnected = 3114;             // not connected to ORACLE
constexpr int kInvalidLobLocator = 22275;       // invalid LOB locator specified
constexpr int kLobNotOpen = 22289;              // cannot perform %s operation on an unopened file or LOB
constexpr int kLobAlreadyOpen = 22293;          // LOB already opened in the same transaction
constexpr int kLobOpenedReadOnly = 22294;       // cannot update a LOB opened in read-only mode
constexpr int kLobBufferTooSmall = 22835;       // buffer too small for CLOB to CHAR or BLOB to RAW conversion
constexpr int kLobRowNotLocked = 22920;         // row containing the LOB value is not locked
constexpr int kAlreadyAttached = 24309;         // already connected to a server
constexpr int kAlreadyAuthenticated = 24313;    // user already authenticated
constexpr int kIllegalAttributeType = 24315;    // illegal attribute type
constexpr int kValueNotAllowed = 24323;         // value not allowed
constexpr int kNeedExplicitAttach = 24327;      // need explicit attach before authenticating a user
constexpr int kZeroIterationCount = 24333;      // zero iteration count
constexpr int kStmtNotPrepared = 24337;         // statement handle not prepared
constexpr int kStmtNotExecuted = 24338;         // statement handle not executed
constexpr int kIllegalPiecewiseOp = 24370;      // illegal piecewise operation attempted
constexpr int kIllegalLobParameter = 24801;     // illegal parameter value in OCI lob function
}  // namespace ora

}  // namespace tabdb
