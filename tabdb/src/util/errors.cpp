// errors.cpp - the table of Oracle error texts and the builders of errors.
//
// Texts are Oracle's own wording for 11g to 19c; "%s" marks where Oracle
// fills in a name or a value.
#include "util/errors.h"

#include <cstdio>

namespace tabdb {
namespace {

struct Entry {
  int code;
  const char* text;
};

// Sorted by code; looked up by binary search.
constexpr Entry kMessages[] = {
    {1, "unique constraint (%s.%s) violated"},
    {28, "your session has been killed"},
    {54, "resource busy and acquire with NOWAIT specified or timeout expired"},
    {600, "internal error code, arguments: [%s]"},
    {900, "invalid SQL statement"},
    {901, "invalid CREATE command"},
    {902, "invalid datatype"},
    {903, "invalid table name"},
    {904, "%s: invalid identifier"},
    {905, "missing keyword"},
    {906, "missing left parenthesis"},
    {907, "missing right parenthesis"},
    {908, "missing NULL keyword"},
    {909, "invalid number of arguments"},
    {910, "specified length too long for its datatype"},
    {911, "invalid character"},
    {913, "too many values"},
    {917, "missing comma"},
    {918, "column ambiguously defined"},
    {920, "invalid relational operator"},
    {921, "unexpected end of SQL command"},
    {922, "missing or invalid option"},
    {923, "FROM keyword not found where expected"},
    {924, "missing BY keyword"},
    {925, "missing INTO keyword"},
    {926, "missing VALUES keyword"},
    {927, "missing equal sign"},
    {928, "missing SELECT keyword"},
    {931, "missing identifier"},
    {932, "inconsistent datatypes: expected %s got %s"},
    {933, "SQL command not properly ended"},
    {934, "group function is not allowed here"},
    {936, "missing expression"},
    {937, "not a single-group group function"},
    {940, "invalid ALTER command"},
    {942, "table or view does not exist"},
    {947, "not enough values"},
    {950, "invalid DROP option"},
    {953, "missing or invalid index name"},
    {955, "name is already used by an existing object"},
    {957, "duplicate column name"},
    {959, "tablespace '%s' does not exist"},
    {969, "missing ON keyword"},
    {971, "missing SET keyword"},
    {972, "identifier is too long"},
    {976, "specified pseudocolumn or operator not allowed here"},
    {979, "not a GROUP BY expression"},
    {980, "synonym translation is no longer valid"},
    {984, "column not allowed here"},
    {988, "missing or invalid password(s)"},
    {990, "missing or invalid privilege"},
    {997, "illegal use of LONG datatype"},
    {998, "must name this expression with a column alias"},
    {1002, "fetch out of sequence"},
    {1007, "variable not in select list"},
    {1008, "not all variables bound"},
    {1009, "missing mandatory parameter"},
    {1012, "not logged on"},
    {1013, "user requested cancel of current operation"},
    {1017, "invalid username/password; logon denied"},
    {1031, "insufficient privileges"},
    {1036, "illegal variable name/number"},
    {1045, "user %s lacks CREATE SESSION privilege; logon denied"},
    {1400, "cannot insert NULL into (%s)"},
    {1403, "no data found"},
    {1405, "fetched column value is NULL"},
    {1406, "fetched column value was truncated"},
    {1407, "cannot update (%s) to NULL"},
    {1408, "such column list already indexed"},
    {1416, "two tables cannot be outer-joined to each other"},
    {1418, "specified index does not exist"},
    {1425, "escape character must be character string of length 1"},
    {1426, "numeric overflow"},
    {1427, "single-row subquery returns more than one row"},
    {1428, "argument '%s' is out of range"},
    {1430, "column being added already exists in table"},
    {1432, "public synonym to be dropped does not exist"},
    {1434, "private synonym to be dropped does not exist"},
    {1435, "user does not exist"},
    {1438, "value larger than specified precision allowed for this column"},
    {1439, "column to be modified must be empty to change datatype"},
    {1440, "column to be modified must be empty to decrease precision or scale"},
    {1441, "cannot decrease column length because some value is too big"},
    {1442, "column to be modified to NOT NULL is already NOT NULL"},
    {1449, "column contains NULL values; cannot alter to NOT NULL"},
    {1451, "column to be modified to NULL cannot be modified to NULL"},
    {1452, "cannot CREATE UNIQUE INDEX; duplicate keys found"},
    {1455, "converting column overflows integer datatype"},
    {1461, "can bind a LONG value only for insert into a LONG column"},
    {1465, "invalid hex number"},
    {1468, "a predicate may reference only one outer-joined table"},
    {1471, "cannot create a synonym with same name as object"},
    {1476, "divisor is equal to zero"},
    {1480, "trailing null missing from STR bind value"},
    {1481, "invalid number format model"},
    {1489, "result of string concatenation is too long"},
    {1719, "outer join operator (+) not allowed in operand of OR or IN"},
    {1722, "invalid number"},
    {1723, "zero-length columns are not allowed"},
    {1724, "floating point precision is out of range (1 to 126)"},
    {1727, "numeric precision specifier is out of range (1 to 38)"},
    {1728, "numeric scale specifier is out of range (-84 to 127)"},
    {1730, "invalid number of column names specified"},
    {1732, "data manipulation operation not legal on this view"},
    {1735, "invalid ALTER TABLE option"},
    {1740, "missing double quote in identifier"},
    {1741, "illegal zero-length identifier"},
    {1742, "comment not properly terminated"},
    {1744, "inappropriate INTO"},
    {1747, "invalid user.table.column, table.column, or column specification"},
    {1749, "you may not GRANT/REVOKE privileges to/from yourself"},
    {1754, "a table may contain only one column of type LONG"},
    {1756, "quoted string not properly terminated"},
    {1758, "table must be empty to add mandatory (NOT NULL) column"},
    {1760, "illegal argument for function"},
    {1765, "specifying owner's name of the table is not allowed"},
    {1775, "looping chain of synonyms"},
    {1780, "string literal required"},
    {1785, "ORDER BY item must be the number of a SELECT-list expression"},
    {1789, "query block has incorrect number of result columns"},
    {1790, "expression must have same datatype as corresponding expression"},
    {1792, "maximum number of columns in a table or view is 1000"},
    {1795, "maximum number of expressions in a list is 1000"},
    {1810, "format code appears twice"},
    {1811, "Julian date precludes use of day of year"},
    {1812, "year may only be specified once"},
    {1813, "hour may only be specified once"},
    {1816, "month may only be specified once"},
    {1817, "day of week may only be specified once"},
    {1818, "'HH24' precludes use of meridian indicator"},
    {1820, "format code cannot appear in date input format"},
    {1821, "date format not recognized"},
    {1830, "date format picture ends before converting entire input string"},
    {1831, "year conflicts with Julian date"},
    {1832, "day of year conflicts with Julian date"},
    {1833, "month conflicts with Julian date"},
    {1834, "day of month conflicts with Julian date"},
    {1836, "hour conflicts with seconds in day"},
    {1837, "minutes of hour conflicts with seconds in day"},
    {1838, "seconds of minute conflicts with seconds in day"},
    {1839, "date not valid for month specified"},
    {1840, "input value not long enough for date format"},
    {1841, "(full) year must be between -4713 and +9999, and not be 0"},
    {1843, "not a valid month"},
    {1846, "not a valid day of the week"},
    {1847, "day of month must be between 1 and last day of month"},
    {1848, "day of year must be between 1 and 365 (366 for leap year)"},
    {1849, "hour must be between 1 and 12"},
    {1850, "hour must be between 0 and 23"},
    {1851, "minute must be between 0 and 59"},
    {1852, "seconds must be between 0 and 59"},
    {1853, "seconds in day must be between 0 and 86399"},
    {1854, "julian date must be between 1 and 5373484"},
    {1855, "AM/A.M. or PM/P.M. required"},
    {1856, "BC/B.C. or AD/A.D. required"},
    {1857, "not a valid time zone"},
    {1858, "a non-numeric character was found where a numeric was expected"},
    {1861, "literal does not match format string"},
    {1862, "the numeric value does not match the length of the format item"},
    {1867, "the interval is invalid"},
    {1873, "the leading precision of the interval is too small"},
    {1874, "time zone hour must be between -15 and 15"},
    {1875, "time zone minute must be between -59 and 59"},
    {1878, "specified field not found in datetime or interval"},
    {1880, "the fractional seconds must be between 0 and 999999999"},
    {1882, "timezone region not found"},
    {1891, "Datetime/Interval internal error"},
    {1917, "user or role '%s' does not exist"},
    {1918, "user '%s' does not exist"},
    {1919, "role '%s' does not exist"},
    {1920, "user name '%s' conflicts with another user or role name"},
    {1922, "CASCADE must be specified to drop '%s'"},
    {1927, "cannot REVOKE privileges you did not grant"},
    {1935, "missing user or role name"},
    {1940, "cannot drop a user that is currently connected"},
    {1950, "no privileges on tablespace '%s'"},
    {1951, "ROLE '%s' not granted to '%s'"},
    {2017, "integer value required"},
    {2143, "invalid STORAGE option"},
    {2158, "invalid CREATE INDEX option"},
    {2216, "tablespace name expected"},
    {2248, "invalid option for ALTER SESSION"},
    {2260, "table can have only one primary key"},
    {2261, "such unique or primary key already exists in the table"},
    {2264, "name already used by an existing constraint"},
    {2269, "key column cannot be of LONG datatype"},
    {2283, "cannot alter starting sequence number"},
    {2286, "no options specified for ALTER SEQUENCE"},
    {2287, "sequence number not allowed here"},
    {2289, "sequence does not exist"},
    {2290, "check constraint (%s.%s) violated"},
    {2293, "cannot validate (%s.%s) - check constraint violated"},
    {2296, "cannot enable (%s.%s) - null values found"},
    {2299, "cannot validate (%s.%s) - duplicate keys found"},
    {2327, "cannot create index on expression with datatype %s"},
    {2329, "column of datatype %s cannot be unique or a primary key"},
    {2429, "cannot drop index used for enforcement of unique/primary key"},
    {2436, "date or system variable wrongly specified in CHECK constraint"},
    {2437, "cannot validate (%s.%s) - primary key violated"},
    {3001, "unimplemented feature"},
    {3113, "end-of-file on communication channel"},
    {3114, "not connected to ORACLE"},
    {3290, "Invalid truncate command - missing CLUSTER or TABLE keyword"},
    {4002, "INCREMENT must be a nonzero integer"},
    {4004, "MINVALUE must be less than MAXVALUE"},
    {4006, "START WITH cannot be less than MINVALUE"},
    {4008, "START WITH cannot be more than MAXVALUE"},
    {4009, "MAXVALUE cannot be made to be less than the current value"},
    {4010, "the number of values to CACHE must be greater than 1"},
    {4013, "number to CACHE must be less than one cycle"},
    {4043, "object %s does not exist"},
    {4063, "%s has errors"},
    {6502, "PL/SQL: numeric or value error"},
    {6512, "at %s"},
    {6550, "line %s, column %s:\n%s"},
    {8002, "sequence %s.CURRVAL is not yet defined in this session"},
    {8004, "sequence %s.NEXTVAL %s %sVALUE and cannot be instantiated"},
    {8103, "object no longer exists"},
    {12154, "TNS:could not resolve the connect identifier specified"},
    {12705, "Cannot access NLS data files or invalid environment specified"},
    {12813, "value for PARALLEL or DEGREE must be greater than 0"},
    {12899, "value too large for column %s (actual: %s, maximum: %s)"},
    {12983, "cannot drop all columns in a table"},
    {12991, "column is referenced in a multi-column constraint"},
    {12992, "cannot drop parent key column"},
    {14196, "Specified index cannot be used to enforce the constraint."},
    {22275, "invalid LOB locator specified"},
    {22289, "cannot perform %s operation on an unopened file or LOB"},
    {22293, "LOB already opened in the same transaction"},
    {22294, "cannot update a LOB opened in read-only mode"},
    {22297, "warning: Open LOBs exist at transaction commit time"},
    {22835, "Buffer too small for CLOB to CHAR or BLOB to RAW conversion (actual: %s, maximum: %s)"},
    {22853, "invalid LOB storage option specification"},
    {22920, "row containing the LOB value is not locked"},
    {22922, "nonexistent LOB value"},
    {24309, "already connected to a server"},
    {24313, "user already authenticated"},
    {24315, "illegal attribute type"},
    {24316, "illegal handle type"},
    {24323, "value not allowed"},
    {24327, "need explicit attach before authenticating a user"},
    {24333, "zero iteration count"},
    {24337, "statement handle not prepared"},
    {24338, "statement handle not executed"},
    {24344, "success with compilation error"},
    {24345, "A Truncation or null fetch error occurred"},
    {24347, "Warning of a NULL column in an aggregate function"},
    {24370, "illegal piecewise operation attempted"},
    {24374, "define not done before fetch or execute and fetch"},
    {24801, "illegal parameter value in OCI lob function"},
    {24806, "LOB form mismatch"},
    {25156, "old style outer join (+) cannot be used with ANSI joins"},
    {28000, "the account is locked"},
    {30088, "datetime/interval precision is out of range"},
    {30186, "'\\' must be followed by four hexadecimal characters or another '\\'"},
    {30669, "table can have only one identity column"},
    {30673, "column to be modified is not an identity column"},
    {30675, "identity column must be a numeric type"},
    {31600, "invalid input value %s for parameter %s in function %s"},
    {31603, "object \"%s\" of type %s not found in schema \"%s\""},
    {31608, "specified object of type %s not found"},
    {32038, "number of WITH clause column names does not match number of elements in select list"},
    {32793, "cannot alter a system-generated sequence"},
    {32794, "cannot drop a system-generated sequence"},
    {32795, "cannot insert into a generated always identity column"},
    {32796, "cannot update a generated always identity column"},
    {54003, "specified data type is not supported for a virtual column"},
    {54013, "INSERT operation disallowed on virtual columns"},
    {54017, "UPDATE operation disallowed on virtual columns"},
    {54037, "table must have at least 1 column that is not virtual"},
};

std::string Prefix(int code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "ORA-%05d: ", code);
  return buf;
}

}  // namespace

const char* OraMessageTemplate(int code) {
  size_t lo = 0, hi = sizeof kMessages / sizeof kMessages[0];
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (kMessages[mid].code < code) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo < sizeof kMessages / sizeof kMessages[0] && kMessages[lo].code == code)
    return kMessages[lo].text;
  return nullptr;
}

Status OraError(int code, std::initializer_list<std::string> args) {
  const char* tmpl = OraMessageTemplate(code);
  if (tmpl == nullptr) return OraErrorText(code, "Message " + std::to_string(code) + " not found");
  std::string msg;
  auto arg = args.begin();
  for (const char* p = tmpl; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      if (arg != args.end()) msg += *arg++;
      ++p;
    } else {
      msg += *p;
    }
  }
  return Status::Error(code, Prefix(code) + msg);
}

Status OraErrorText(int code, const std::string& message) {
  return Status::Error(code, Prefix(code) + message);
}

Status Unimplemented(const std::string& clause) {
  return OraErrorText(ora::kUnimplemented, "unimplemented feature: " + clause);
}

}  // namespace tabdb
