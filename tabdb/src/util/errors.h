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

// ORA-03001 for a statement or clause the database does not carry, naming
// it after Oracle's text: "ORA-03001: unimplemented feature: PARTITION BY".
Status Unimplemented(const std::string& clause);

// Oracle error numbers by name: call sites use these, never the bare number.
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
constexpr int kGrantOptionDoesNotExist = 1720;  // grant option does not exist for '%s.%s'
constexpr int kCannotInsertNull = 1400;
constexpr int kNoDataFound = 1403;
constexpr int kFetchedNull = 1405;
constexpr int kFetchedTruncated = 1406;
constexpr int kUserNotExist = 1435;
constexpr int kPrecisionTooLarge = 1438;
constexpr int kSetTransactionNotFirst = 1453;
constexpr int kReadOnlyTransaction = 1456;
constexpr int kInvalidNumber = 1722;
constexpr int kUserDoesNotExist = 1918;
constexpr int kUserConflicts = 1920;
constexpr int kTnsCannotResolve = 12154;
constexpr int kValueTooLarge = 12899;
constexpr int kTruncationOrNullFetch = 24345;
constexpr int kLobFormMismatch = 24806;
// The rest, in numeric order.
constexpr int kResourceBusy = 54;
constexpr int kParameterValueRange = 68;  // invalid value %s for parameter %s, must be between %s and %s
constexpr int kInternalError = 600;
constexpr int kInvalidDatatype = 902;
constexpr int kMissingKeyword = 905;
constexpr int kInvalidArgumentCount = 909;
constexpr int kLengthTooLong = 910;
constexpr int kTooManyValues = 913;
constexpr int kInvalidRelationalOperator = 920;
constexpr int kUnexpectedEnd = 921;
constexpr int kFromNotFound = 923;
constexpr int kInconsistentDatatypes = 932;
constexpr int kGroupFunctionNotAllowed = 934;
constexpr int kNotEnoughValues = 947;
constexpr int kDuplicateColumnName = 957;
constexpr int kTablespaceNotExist = 959;
constexpr int kPseudocolumnNotAllowed = 976;
constexpr int kMissingPassword = 988;
constexpr int kIllegalLongUse = 997;
constexpr int kNotAllVariablesBound = 1008;
constexpr int kUserCancel = 1013;
constexpr int kIoError = 1115;
constexpr int kCannotCreateFile = 1119;
constexpr int kFileVerificationFailed = 1122;
constexpr int kCannotUpdateToNull = 1407;
constexpr int kColumnListAlreadyIndexed = 1408;
constexpr int kIndexNotExist = 1418;
constexpr int kInvalidEscape = 1425;
constexpr int kNumericOverflow = 1426;
constexpr int kArgumentOutOfRange = 1428;
constexpr int kColumnHasNulls = 1449;
constexpr int kDuplicateKeysFound = 1452;
constexpr int kInvalidHexNumber = 1465;
constexpr int kDivisorIsZero = 1476;
constexpr int kInvalidNumberFormat = 1481;
constexpr int kCannotExtendTable = 1653;
constexpr int kZeroLengthColumn = 1723;
constexpr int kPrecisionOutOfRange = 1727;
constexpr int kScaleOutOfRange = 1728;
constexpr int kInvalidAlterTableOption = 1735;
constexpr int kMissingDoubleQuote = 1740;
constexpr int kZeroLengthIdentifier = 1741;
constexpr int kCommentNotTerminated = 1742;
constexpr int kOneLongColumn = 1754;
constexpr int kQuotedStringNotTerminated = 1756;
constexpr int kIllegalArgument = 1760;
constexpr int kOrderByItemNumber = 1785;
constexpr int kTooManyColumns = 1792;
constexpr int kTooManyListExpressions = 1795;
constexpr int kFormatCodeTwice = 1810;
constexpr int kJulianPrecludesDayOfYear = 1811;
constexpr int kYearTwice = 1812;
constexpr int kHourTwice = 1813;
constexpr int kMonthTwice = 1816;
constexpr int kDayOfWeekTwice = 1817;
constexpr int kHh24PrecludesMeridian = 1818;
constexpr int kFormatCodeNotForInput = 1820;
constexpr int kDateFormatNotRecognized = 1821;
constexpr int kFormatEndsBeforeInput = 1830;
constexpr int kYearConflictsJulian = 1831;
constexpr int kMonthConflictsJulian = 1833;
constexpr int kDayConflictsJulian = 1834;
constexpr int kHourConflictsSecondsInDay = 1836;
constexpr int kMinuteConflictsSecondsInDay = 1837;
constexpr int kSecondConflictsSecondsInDay = 1838;
constexpr int kDateNotValidForMonth = 1839;
constexpr int kInputTooShortForFormat = 1840;
constexpr int kInvalidYear = 1841;
constexpr int kInvalidMonth = 1843;
constexpr int kInvalidDayOfWeek = 1846;
constexpr int kInvalidDayOfMonth = 1847;
constexpr int kInvalidDayOfYear = 1848;
constexpr int kInvalidHour12 = 1849;
constexpr int kInvalidHour24 = 1850;
constexpr int kInvalidMinute = 1851;
constexpr int kInvalidSecond = 1852;
constexpr int kInvalidSecondsInDay = 1853;
constexpr int kInvalidJulianDate = 1854;
constexpr int kMeridianRequired = 1855;
constexpr int kEraRequired = 1856;
constexpr int kInvalidTimeZone = 1857;
constexpr int kNonNumericCharacter = 1858;
constexpr int kLiteralDoesNotMatchFormat = 1861;
constexpr int kNumericLengthMismatch = 1862;
constexpr int kInvalidInterval = 1867;
constexpr int kIntervalPrecisionTooSmall = 1873;
constexpr int kInvalidTimeZoneHour = 1874;
constexpr int kInvalidTimeZoneMinute = 1875;
constexpr int kFieldNotFound = 1878;
constexpr int kInvalidFractionalSeconds = 1880;
constexpr int kTimeZoneRegionNotFound = 1882;
constexpr int kDatetimeInternalError = 1891;
constexpr int kUserOrRoleNotExist = 1917;
constexpr int kCascadeRequired = 1922;
constexpr int kMissingUserOrRole = 1935;
constexpr int kUserConnected = 1940;
constexpr int kRoleNotGranted = 1951;
constexpr int kInvalidCreateIndexOption = 2158;
constexpr int kOnePrimaryKey = 2260;
constexpr int kKeyAlreadyExists = 2261;
constexpr int kConstraintNameUsed = 2264;
constexpr int kLongKeyColumn = 2269;
constexpr int kDuplicateKeysOnValidate = 2299;
constexpr int kCannotIndexExpressionType = 2327;
constexpr int kCannotBeUniqueKey = 2329;
constexpr int kIndexEnforcesKey = 2429;
constexpr int kPrimaryKeyViolated = 2437;
constexpr int kUnimplemented = 3001;
constexpr int kPlsqlAt = 6512;
constexpr int kPlsqlLineColumn = 6550;
constexpr int kObjectNoLongerExists = 8103;
constexpr int kCannotSerialize = 8177;
constexpr int kSnapshotTooOld = 1555;
constexpr int kInvalidScn = 8181;
constexpr int kFlashbackMode = 8182;
constexpr int kFlashbackInTransaction = 8183;
constexpr int kFlashbackReenabled = 8184;
constexpr int kNlsDataInvalid = 12705;
constexpr int kInvalidParallelDegree = 12813;
constexpr int kIndexCannotEnforce = 14196;
constexpr int kReadOnlyDatabase = 16000;
constexpr int kInvalidLobLocator = 22275;
constexpr int kOpenLobsAtCommit = 22297;
constexpr int kInvalidLobStorageOption = 22853;
constexpr int kStatementNotExecuted = 24338;
constexpr int kInvalidInputValue = 31600;
constexpr int kInconsistentParameter = 31602;
constexpr int kObjectNotFound = 31603;
constexpr int kInvalidFilter = 31604;
constexpr int kVirtualColumnTypeNotSupported = 54003;
constexpr int kInsertOnVirtualColumn = 54013;
constexpr int kUpdateOnVirtualColumn = 54017;
constexpr int kAllColumnsVirtual = 54037;
// OCI client layer and LOB store.
constexpr int kFetchOutOfSequence = 1002;       // fetch out of sequence
constexpr int kNotInSelectList = 1007;          // variable not in select list
constexpr int kIllegalVariableName = 1036;      // illegal variable name/number
constexpr int kIntegerOverflow = 1455;          // converting column overflows integer datatype
constexpr int kNotConnected = 3114;             // not connected to ORACLE
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
constexpr int kIllegalPiecewiseOp = 24370;      // illegal piecewise operation attempted
constexpr int kArrayDmlErrors = 24381;          // error(s) in array DML
constexpr int kBatchErrorsNotDml = 28714;       // batch error mode only for INSERT, UPDATE, DELETE or MERGE
constexpr int kIllegalLobParameter = 24801;     // illegal parameter value in OCI lob function
// queries over several FROM items
constexpr int kColumnAmbiguous = 918;           // column ambiguously defined
constexpr int kSingleRowSubquery = 1427;        // single-row subquery returns more than one row
// Object privileges and sessions.
constexpr int kSessionKilled = 28;              // your session has been killed
constexpr int kSessionsExceeded = 18;           // maximum number of sessions exceeded
constexpr int kInvalidSessionId = 26;           // missing or invalid session ID
constexpr int kKillOwnSession = 27;             // cannot kill current session
constexpr int kNoSuchSession = 30;              // User session ID does not exist.
constexpr int kMissingOrInvalidPrivilege = 990; // missing or invalid privilege
constexpr int kGrantToSelf = 1749;              // you may not GRANT/REVOKE privileges to/from yourself
constexpr int kRevokeNotGranted = 1927;         // cannot REVOKE privileges you did not grant

// PL/SQL blocks (texts built with OraErrorText where the table has none)
constexpr int kRecursiveSqlLevels = 36;         // maximum number of recursive SQL levels (50) exceeded
constexpr int kExactFetchTooMany = 1422;        // exact fetch returns more than requested number of rows
constexpr int kPlsqlValueError = 6502;          // PL/SQL: numeric or value error%s
constexpr int kProgramUnitNotFound = 6508;      // PL/SQL: could not find program unit being called
constexpr int kUnhandledUserException = 6510;   // PL/SQL: unhandled user-defined exception
constexpr int kTriggerDoesNotExist = 4080;      // trigger '%s' does not exist
constexpr int kTriggerFailed = 4088;            // error during execution of trigger '%s.%s'
constexpr int kTableMutating = 4091;            // table %s.%s is mutating, trigger/function may not see it
constexpr int kTriggerInvalid = 4098;           // trigger '%s.%s' is invalid and failed re-validation
constexpr int kObjectDoesNotExist = 4043;       // object %s does not exist
constexpr int kRaiseErrorOutOfRange = 21000;    // error number argument to raise_application_error of %s is out of range
// Sequences.
constexpr int kSequenceNotAllowed = 2287;       // sequence number not allowed here
constexpr int kSequenceNoOptions = 2286;       // no options specified for ALTER SEQUENCE
constexpr int kSequenceNotExist = 2289;         // sequence does not exist
constexpr int kSequenceCurrvalUndefined = 8002; // sequence %s.CURRVAL is not yet defined in this session
constexpr int kSequenceExceedsMax = 8004;       // sequence %s.NEXTVAL %s %sVALUE and cannot be instantiated
constexpr int kSequenceCannotAlterStart = 2283; // cannot alter starting sequence number
constexpr int kSequenceIncrementZero = 4002;    // INCREMENT must be a nonzero integer
constexpr int kSequenceMinMax = 4004;           // MINVALUE must be less than MAXVALUE
constexpr int kSequenceStartBelowMin = 4006;    // START WITH cannot be less than MINVALUE
constexpr int kSequenceStartAboveMax = 4008;    // START WITH cannot be more than MAXVALUE
constexpr int kSequenceCacheTooSmall = 4010;   // the number of values to CACHE must be greater than 1
constexpr int kSequenceMaxBelowCurrent = 4009;  // MAXVALUE cannot be made to be less than the current value
constexpr int kSequenceCacheTooBig = 4013;      // number to CACHE must be less than one cycle
constexpr int kSequenceSystemAlter = 32793;     // cannot alter a system-generated sequence
constexpr int kSequenceSystemDrop = 32794;      // cannot drop a system-generated sequence
// Constraints enforced on DML and validated by ALTER TABLE.
constexpr int kCheckViolated = 2290;            // check constraint (%s.%s) violated
constexpr int kCheckSystemVariable = 2436;      // date or system variable wrongly specified in CHECK constraint
constexpr int kCheckValidateFailed = 2293;      // cannot validate (%s.%s) - check constraint violated
// Foreign keys and constraint states.
constexpr int kTransactionRolledBack = 2091;     // transaction rolled back
constexpr int kRefColumnCount = 2256;            // number of referencing columns must match referenced columns
constexpr int kRefColumnType = 2267;             // column type incompatible with referenced column type
constexpr int kRefNoPrimaryKey = 2268;           // referenced table does not have a primary key
constexpr int kRefNoMatchingKey = 2270;          // no matching unique or primary key for this column-list
constexpr int kRefAlreadyExists = 2275;          // such a referential constraint already exists in the table
constexpr int kParentKeyNotFound = 2291;         // integrity constraint (%s.%s) violated - parent key not found
constexpr int kChildRecordFound = 2292;          // integrity constraint (%s.%s) violated - child record found
constexpr int kDisableDependencies = 2297;       // cannot disable constraint (%s.%s) - dependencies exist
constexpr int kParentKeysOnValidate = 2298;      // cannot validate (%s.%s) - parent keys not found
constexpr int kEnableNoSuchConstraint = 2430;    // cannot enable constraint (%s) - no such constraint
constexpr int kDisableNoSuchConstraint = 2431;   // cannot disable constraint (%s) - no such constraint
constexpr int kEnableNoPrimaryKey = 2432;        // cannot enable primary key - primary key not defined for table
constexpr int kDisableNoPrimaryKey = 2433;       // cannot disable primary key - primary key not defined for table
constexpr int kEnableNoUniqueKey = 2434;         // cannot enable unique(%s) - unique key not defined for table
constexpr int kDisableNoUniqueKey = 2435;        // cannot disable unique(%s) - unique key not defined for table
constexpr int kCannotDefer = 2447;               // cannot defer a constraint that is not deferrable
constexpr int kConstraintNotExist = 2448;        // constraint does not exist
constexpr int kReferencedByForeignKeys = 2449;   // unique/primary keys in table referenced by foreign keys
constexpr int kTruncateReferenced = 2266;        // unique/primary keys in table referenced by enabled foreign keys
constexpr int kIntegerValueRequired = 2017;     // integer value required
constexpr int kInvalidAlterSession = 2248;       // invalid option for ALTER SESSION
// ALTER TABLE constraint forms and constraint DDL text.
constexpr int kAlreadyNotNull = 1442;           // column to be modified to NOT NULL is already NOT NULL
constexpr int kCannotModifyToNull = 1451;       // column to be modified to NULL cannot be modified to NULL
constexpr int kNullValuesFound = 2296;          // cannot enable (%s.%s) - null values found
constexpr int kKeyReferenced = 2273;            // this unique/primary key is referenced by some foreign keys
constexpr int kNoPrimaryKeyToDrop = 2441;       // Cannot drop nonexistent primary key
constexpr int kNoUniqueKeyToDrop = 2442;        // Cannot drop nonexistent unique key
constexpr int kNoConstraintToDrop = 2443;       // Cannot drop constraint  - nonexistent constraint
constexpr int kConstraintNameNotExist = 23292;  // The constraint name does not exist
// Compound queries, ROWNUM, (+) outer joins, WITH.
constexpr int kSetColumnCount = 1789;           // query block has incorrect number of result columns
constexpr int kSetTypeMismatch = 1790;          // expression must have same datatype as corresponding expression
constexpr int kOuterJoinCycle = 1416;           // two tables cannot be outer-joined to each other
constexpr int kOuterJoinTwoTables = 1468;       // a predicate may reference only one outer-joined table
constexpr int kOuterJoinInOr = 1719;            // outer join operator (+) not allowed in operand of OR or IN
constexpr int kOuterJoinWithAnsi = 25156;       // old style outer join (+) cannot be used with ANSI joins
constexpr int kWithColumnCount = 32038;         // number of WITH clause column names does not match ...
constexpr int kUnistrEscape = 30186;            // '\' must be followed by four hexadecimal characters or another '\'
// Dimensions.
constexpr int kDimensionNotExist = 30333;       // dimension does not exist
constexpr int kLevelNotDefined = 30342;         // referenced level is not defined in this dimension
constexpr int kLevelNotUnique = 30343;          // level name is not unique within this dimension
constexpr int kHierarchyNotUnique = 30346;      // hierarchy name must be unique within a dimension
// Views and synonyms.
constexpr int kSynonymTranslationInvalid = 980;  // synonym translation is no longer valid
constexpr int kMustNameExpression = 998;         // must name this expression with a column alias
constexpr int kPublicSynonymNotExist = 1432;     // public synonym to be dropped does not exist
constexpr int kPrivateSynonymNotExist = 1434;    // private synonym to be dropped does not exist
constexpr int kSynonymSameAsObject = 1471;       // cannot create a synonym with same name as object
constexpr int kViewDmlNotLegal = 1732;           // data manipulation operation not legal on this view
constexpr int kSynonymLoop = 1775;               // looping chain of synonyms
constexpr int kViewHasErrors = 4063;             // %s has errors
constexpr int kCompiledWithErrors = 24344;       // success with compilation error (a warning)
// Stored units that run.
constexpr int kNoExecuteOnTables = 2224;          // EXECUTE privilege not allowed for tables
constexpr int kOnlyExecuteForProcedures = 2225;   // only EXECUTE and DEBUG privileges are valid for procedures
constexpr int kPackageStateDiscarded = 4068;      // existing state of packages%s%s%s has been discarded
constexpr int kPackageBodyStateInvalidated = 4061;  // existing state of %s has been invalidated
constexpr int kPackageBodyNotExecuted = 4065;     // not executed, altered or dropped %s
constexpr int kFunctionReturnedNoValue = 6503;    // PL/SQL: Function returned without value
constexpr int kPlsqlStorageError = 6500;          // PL/SQL: storage error
constexpr int kInvalidCursor = 1001;              // invalid cursor
constexpr int kCursorAlreadyOpen = 6511;          // PL/SQL: cursor already open
constexpr int kCaseNotFound = 6592;               // CASE not found while executing CASE statement
constexpr int kDmlInsideQuery = 14551;            // cannot perform a DML operation inside a query
constexpr int kDdlInsideQuery = 14552;            // cannot perform a DDL, commit or rollback inside a query or DML
constexpr int kNotValidProcedure = 6576;          // not a valid function or procedure name
constexpr int kFunctionInvalidState = 6575;       // Package or function %s is in an invalid state
constexpr int kPlsInSql = 6553;                   // PLS-%s: %s (a PL/SQL compile error of a call in SQL)
constexpr int kMissingRightParen = 907;           // missing right parenthesis
// Comments, the object dictionary and clauses not carried.
constexpr int kStringLiteralRequired = 1780;    // string literal required
constexpr int kDependentNotFound = 31608;       // specified object of type %s not found
// Identity columns, ALTER TABLE column forms, RENAME, CREATE TABLE AS SELECT.
constexpr int kColumnAlreadyExists = 1430;      // column being added already exists in table
constexpr int kColumnMustBeEmpty = 1439;        // column to be modified must be empty to change datatype
constexpr int kCannotDecreaseLength = 1441;     // cannot decrease column length because some value is too big
constexpr int kInvalidColumnNameCount = 1730;   // invalid number of column names specified
constexpr int kMandatoryColumnNeedsEmpty = 1758; // table must be empty to add mandatory (NOT NULL) column
constexpr int kRenameQualified = 1765;          // specifying owner's name of the table is not allowed
constexpr int kCannotDropAllColumns = 12983;    // cannot drop all columns in a table
constexpr int kMultiColumnConstraint = 12991;   // column is referenced in a multi-column constraint
constexpr int kOneIdentityColumn = 30669;       // table can have only one identity column
constexpr int kNotIdentityColumn = 30673;       // column to be modified is not an identity column
constexpr int kIdentityNotNumeric = 30675;      // identity column must be a numeric type
constexpr int kInsertGeneratedAlways = 32795;   // cannot insert into a generated always identity column
constexpr int kUpdateGeneratedAlways = 32796;   // cannot update a generated always identity column
constexpr int kMustBeEmptyToDecrease = 1440;    // column to be modified must be empty to decrease precision or scale
constexpr int kDropParentKeyColumn = 12992;     // cannot drop parent key column
// Subqueries where a stored expression is kept.
constexpr int kSubqueryNotAllowed = 2251;       // subquery not allowed here
constexpr int kSubqueryExprNotAllowed = 22818;  // subquery expressions not allowed here
// Session context, regular expressions and materialized views.
constexpr int kInvalidUserenvParameter = 2003;  // invalid USERENV parameter
constexpr int kMviewLogExists = 12000;          // a materialized view log already exists on table '%s'
constexpr int kNoMviewLog = 12002;              // there is no materialized view log on table "%s"."%s"
constexpr int kMviewNotFound = 12003;           // materialized view "%s"."%s" does not exist
constexpr int kMviewRefreshPath = 12008;        // error in materialized view or zonemap refresh path
constexpr int kPrebuiltTableMissing = 12059;    // prebuilt table "%s"."%s" does not exist
constexpr int kPrebuiltShape = 12060;           // shape of prebuilt table does not match definition query
constexpr int kUseDropMview = 12083;            // must use DROP MATERIALIZED VIEW to drop "%s"."%s"
constexpr int kRegexInternal = 12722;           // regular expression internal error
constexpr int kRegexParens = 12725;             // unmatched parentheses in regular expression
constexpr int kRegexBracket = 12726;            // unmatched bracket in regular expression
constexpr int kRegexBackref = 12727;            // invalid back reference in regular expression
constexpr int kRegexRange = 12728;              // invalid range in regular expression
constexpr int kRegexClass = 12729;              // invalid character class in regular expression
constexpr int kRegexEquivalence = 12730;        // invalid equivalence class in regular expression
constexpr int kRegexCollation = 12731;          // invalid collation class in regular expression
constexpr int kRegexInterval = 12732;           // invalid interval value in regular expression
constexpr int kRegexTooLong = 12733;            // regular expression too long
constexpr int kRefreshMviewNotFound = 23401;    // materialized view "%s"."%s" does not exist
// LOB changes through a locator.
constexpr int kTrimLengthTooLarge = 22926;      // specified trim length is greater than current LOB value's length
// Resource bounds: the matching work of one statement, the partitions of one table.
constexpr int kCallCpuLimit = 2393;             // exceeded call limit on CPU usage
constexpr int kTooManyPartitions = 14299;       // total number of partitions/subpartitions exceeds the maximum limit
constexpr int kPartitionNumberTooHigh = 14300;  // partitioning key maps to a partition outside maximum permitted number of partitions
// Binds of LOB and LONG data, ROWIDs and their ranges.
constexpr int kInvalidRowid = 1410;             // invalid ROWID
constexpr int kLongValueNotForColumn = 1461;    // can bind a LONG value only for insert into a LONG column
constexpr int kArrayBindLong = 1478;            // array bind may not include any LONG columns
constexpr int kLobAndLongBinds = 22295;         // cannot bind more than 4000 bytes data to LOB and LONG columns in 1 statement
constexpr int kBindAfterLongBind = 24816;       // Expanded non LONG bind data supplied after actual LONG or LOB column
// Analytic functions, JSON, temporary tables.
constexpr int kWindowNotAllowed = 30483;        // window  functions are not allowed here
constexpr int kWindowMissing = 30484;           // missing window specification for this function
constexpr int kWindowOrderMissing = 30485;      // missing ORDER BY expression in the window specification
constexpr int kJsonSyntax = 40441;              // JSON syntax error
constexpr int kJsonPathSyntax = 40442;          // JSON path expression syntax error
constexpr int kJsonNotScalar = 40456;           // JSON_VALUE evaluated to non-scalar value
constexpr int kJsonNoValue = 40462;             // JSON_VALUE evaluated to no value
constexpr int kJsonMultipleValues = 40470;      // JSON_VALUE evaluated to multiple values
constexpr int kTemporaryTableFeature = 14451;   // unsupported feature with temporary table
}  // namespace ora

}  // namespace tabdb
