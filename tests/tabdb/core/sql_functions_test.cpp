// sql_functions_test.cpp - every function of the SQL function registry
// called through OCI, the shared evaluators once per function they serve,
// and the registry's own rules: argument counts, unknown names, operators
// that SQL cannot call by name.
#include <set>
#include <string>

#include "exec/functions.h"
#include "oci_fixture.h"

namespace ocitest {
namespace {

struct Call {
  const char* expr;      // selected FROM dual
  const char* expected;  // fetched as text
};

const Call kCalls[] = {
    // Functions of schema scripts. ORA_HASH's values are our own
    // (deterministic, within the bucket range), not Oracle's.
    {"UTL_RAW.CAST_TO_RAW('AB')", "4142"},
    {"UTL_RAW.CAST_TO_VARCHAR2(HEXTORAW('414243'))", "ABC"},
    {"LENGTH(RAWTOHEX(SYS_GUID()))", "32"},
    {"CASE WHEN SYS_GUID() = SYS_GUID() THEN 'same' ELSE 'new' END", "new"},
    {"STANDARD_HASH('abc')", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
    {"STANDARD_HASH('abc', 'MD5')", "900150983CD24FB0D6963F7D28E17F72"},
    {"LENGTH(STANDARD_HASH('abc', 'SHA512'))", "128"},
    {"ORA_HASH('abc') - ORA_HASH('abc')", "0"},
    {"CASE WHEN DBMS_RANDOM.VALUE() >= 0 AND DBMS_RANDOM.VALUE() < 1 THEN 'ok' END", "ok"},
    {"CASE WHEN DBMS_RANDOM.VALUE(5, 7) >= 5 AND DBMS_RANDOM.VALUE(5, 7) < 7 THEN 'ok' END", "ok"},
    {"CASE WHEN DBMS_RANDOM.VALUE() <> DBMS_RANDOM.VALUE() THEN 'ok' END", "ok"},
    {"SIGN(DBMS_FLASHBACK.GET_SYSTEM_CHANGE_NUMBER())", "1"},
    {"CASE WHEN ORA_HASH('abc', 9) BETWEEN 0 AND 9 AND ORA_HASH('abc', 0) = 0 THEN 'ok' END", "ok"},
    {"CASE WHEN ORA_HASH('abc', 4294967295, 1) <> ORA_HASH('abc', 4294967295, 2) THEN 'seeded' END",
     "seeded"},
    // DBMS_RANDOM.STRING: only characters of the option's set (LTRIM of
    // the whole set leaves nothing); other options mean upper case.
    {"NVL(LTRIM(DBMS_RANDOM.STRING('U', 30), 'ABCDEFGHIJKLMNOPQRSTUVWXYZ'), 'ok')", "ok"},
    {"NVL(LTRIM(DBMS_RANDOM.STRING('l', 30), 'abcdefghijklmnopqrstuvwxyz'), 'ok')", "ok"},
    {"NVL(LTRIM(DBMS_RANDOM.STRING('x', 30), '0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ'), 'ok')", "ok"},
    {"NVL(LTRIM(DBMS_RANDOM.STRING('A', 30), 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz'), 'ok')",
     "ok"},
    {"NVL(LTRIM(DBMS_RANDOM.STRING('?', 30), 'ABCDEFGHIJKLMNOPQRSTUVWXYZ'), 'ok')", "ok"},
    {"LENGTH(DBMS_RANDOM.STRING('p', 2.5))", "3"},
    // DBMS_ROWID: a ROWID built and taken apart again
    {"DBMS_ROWID.ROWID_CREATE(1, 1001, 1, 33, 5)", "AAAAPpAABAAAAAhAAF"},
    {"DBMS_ROWID.ROWID_OBJECT('AAAAPpAABAAAAAhAAF') || '.' || DBMS_ROWID.ROWID_RELATIVE_FNO('AAAAPpAABAAAAAhAAF')"
     " || '.' || DBMS_ROWID.ROWID_BLOCK_NUMBER('AAAAPpAABAAAAAhAAF', 'SMALLFILE') || '.'"
     " || DBMS_ROWID.ROWID_ROW_NUMBER('AAAAPpAABAAAAAhAAF')", "1001.1.33.5"},
    {"NVL(DBMS_RANDOM.STRING('U', 0), 'none')", "none"},
    {"LENGTH(DBMS_RANDOM.STRING(NULL, 4))", "4"},
    {"CASE WHEN DBMS_RANDOM.NORMAL() BETWEEN -20 AND 20 THEN 'ok' END", "ok"},
    {"CASE WHEN DBMS_RANDOM.RANDOM() BETWEEN -2147483648 AND 2147483647 THEN 'ok' END", "ok"},
    {"MOD(DBMS_RANDOM.RANDOM(), 1)", "0"},
    {"CASE WHEN DBMS_RANDOM.VALUE BETWEEN 0 AND 1 THEN 'no parentheses' END", "no parentheses"},
    // UNISTR: UTF-16 units, a surrogate pair, an escaped backslash.
    {"UNISTR('a\\00e9\\D83D\\DE00\\\\b')", "a\xC3\xA9\xF0\x9F\x98\x80\\b"},
    // Regular expressions and the session's context.
    {"CASE WHEN REGEXP_LIKE('aB', 'b', 'i') THEN 'y' END", "y"},
    {"REGEXP_SUBSTR('a12b', '[0-9]+')", "12"},
    {"REGEXP_INSTR('a12b', '[0-9]', 1, 2)", "3"},
    {"REGEXP_REPLACE('a-b', '(a)-(b)', '\\2\\1')", "ba"},
    {"REGEXP_COUNT('aXa', 'a')", "2"},
    {"SYS_CONTEXT('USERENV', 'SESSION_USER')", "APP"},
    {"USERENV('ISDBA')", "FALSE"},
    {"LENGTH(UNISTR('\\0041\\00E9'))", "2"},
    // Characters.
    {"UPPER('abc')", "ABC"},
    {"LOWER('AbC')", "abc"},
    {"INITCAP('hello wORLD')", "Hello World"},
    {"LENGTH('h\xC3\xA9')", "2"},
    {"LENGTHC('h\xC3\xA9')", "2"},
    {"LENGTHB('h\xC3\xA9')", "3"},
    {"LENGTH(TO_CLOB('abcd'))", "4"},
    {"SUBSTR('abcdef', -3, 2)", "de"},
    {"SUBSTRB('abcdef', 2)", "bcdef"},
    {"INSTR('banana', 'an', 1, 2)", "4"},
    {"REPLACE('banana', 'an', 'AN')", "bANANa"},
    {"TRIM('  x  ')", "x"},
    {"LTRIM('xxaxx', 'x')", "axx"},
    {"RTRIM('xxaxx', 'x')", "xxa"},
    {"LPAD('7', 3, '0')", "007"},
    {"RPAD('ab', 4, '*')", "ab**"},
    {"CONCAT('a', 'b')", "ab"},
    {"'a' || 1", "a1"},
    {"CHR(65)", "A"},
    {"ASCII('a')", "97"},
    {"DUMP(1)", "Typ=2 Len=2: 193,2"},
    {"HEXTORAW('0aff')", "0AFF"},
    {"RAWTOHEX(HEXTORAW('0aff'))", "0AFF"},
    // NULLs and choices.
    {"NVL(NULL, 'd')", "d"},
    {"NVL2(1, 'a', 'b')", "a"},
    {"COALESCE(NULL, NULL, 3)", "3"},
    {"DECODE(2, 1, 'one', 2, 'two', 'other')", "two"},
    {"DECODE(NULL, NULL, 'n', 'x')", "n"},
    {"GREATEST(3, 7, 5)", "7"},
    {"LEAST('b', 'a', 'c')", "a"},
    // Numbers and arithmetic.
    {"ABS(-2.5)", "2.5"},
    {"FLOOR(-2.5)", "-3"},
    {"CEIL(2.1)", "3"},
    {"SIGN(-7)", "-1"},
    {"SQRT(16)", "4"},
    {"MOD(17, 5)", "2"},
    {"POWER(2, 10)", "1024"},
    {"ROUND(2.567, 2)", "2.57"},
    {"TRUNC(-2.567, 1)", "-2.5"},
    {"1 + 2 * 3 - 4 / 8", "6.5"},
    {"-(5)", "-5"},
    {"TO_CHAR(TO_BINARY_DOUBLE('1') + 1)", "2.0E+000"},
    {"TO_CHAR(TO_BINARY_FLOAT('2.5'))", "2.5E+000"},
    // Conversions.
    {"TO_CHAR(1234.5, '9999.99')", " 1234.50"},
    {"TO_NCHAR(12)", "12"},
    {"TO_NUMBER('12.50')", "12.5"},
    {"TO_CHAR(TO_DATE('2024-03-15', 'YYYY-MM-DD'), 'DD.MM.YYYY')", "15.03.2024"},
    {"TO_CHAR(TO_TIMESTAMP('2024-01-02 03:04:05.5', 'YYYY-MM-DD HH24:MI:SS.FF'), 'HH24:MI:SS.FF3')",
     "03:04:05.500"},
    {"TO_CHAR(TO_TIMESTAMP_TZ('2024-01-02 03:04 +02:00', 'YYYY-MM-DD HH24:MI TZH:TZM'), 'TZH:TZM')",
     "+02:00"},
    {"TO_CHAR(TIMESTAMP '2024-01-02 03:04:05.25')", "02-JAN-24 03.04.05.250000000 AM"},
    {"TO_CLOB('x') || 'y'", "xy"},
    {"DBMS_LOB.SUBSTR(TO_CLOB('hello'), 3, 2)", "ell"},
    {"DBMS_LOB.GETLENGTH(TO_CLOB('hello'))", "5"},
    {"DBMS_LOB.GETLENGTH(TO_BLOB(HEXTORAW('0102')))", "2"},
    {"NVL(DBMS_LOB.GETLENGTH(TO_NCLOB('ab')), 0)", "2"},
    {"DBMS_LOB.INSTR(TO_CLOB('hello'), 'l', 1, 2)", "4"},
    {"DBMS_LOB.INSTR(TO_BLOB(HEXTORAW('010203')), HEXTORAW('03'))", "3"},
    {"DBMS_LOB.COMPARE(TO_CLOB('abc'), TO_CLOB('abd')) || DBMS_LOB.COMPARE(TO_CLOB('xabc'), 'abc', 3, 2, 1)", "-10"},
    // Dates, timestamps, intervals.
    {"TO_CHAR(ROUND(TO_DATE('2024-03-15 13:00', 'YYYY-MM-DD HH24:MI')), 'YYYY-MM-DD')",
     "2024-03-16"},
    {"TO_CHAR(TRUNC(DATE '2024-03-15', 'MM'), 'YYYY-MM-DD')", "2024-03-01"},
    {"TO_CHAR(ADD_MONTHS(DATE '2024-01-31', 1), 'YYYY-MM-DD')", "2024-02-29"},
    {"TO_CHAR(LAST_DAY(DATE '2023-02-10'), 'YYYY-MM-DD')", "2023-02-28"},
    {"MONTHS_BETWEEN(DATE '2024-03-31', DATE '2024-02-29')", "1"},
    {"TO_CHAR(DATE '2024-01-01' + 1, 'YYYY-MM-DD')", "2024-01-02"},
    {"DATE '2024-03-01' - DATE '2024-02-01'", "29"},
    {"EXTRACT(DAY FROM NUMTODSINTERVAL(36, 'HOUR'))", "1"},
    {"EXTRACT(HOUR FROM NUMTODSINTERVAL(36, 'HOUR') * 2)", "0"},
    {"EXTRACT(MONTH FROM NUMTOYMINTERVAL(14, 'MONTH'))", "2"},
    {"EXTRACT(HOUR FROM TO_DSINTERVAL('1 02:03:04'))", "2"},
    {"EXTRACT(YEAR FROM TO_YMINTERVAL('3-1'))", "3"},
    {"EXTRACT(MONTH FROM -TO_YMINTERVAL('0-5'))", "-5"},
    {"TO_CHAR(SYS_EXTRACT_UTC(TIMESTAMP '2024-01-01 10:00:00 +02:00'), 'HH24:MI')", "08:00"},
};

class SqlFunctionsTest : public OciTest {};

TEST_F(SqlFunctionsTest, EveryFunctionComputesOraclesResult) {
  for (const Call& c : kCalls) {
    EXPECT_EQ(One(app_, std::string("SELECT ") + c.expr + " FROM dual"), c.expected) << c.expr;
  }
  EXPECT_EQ(One(app_, "SELECT 1 FROM dual WHERE 'abc' LIKE 'a_c' AND 'a%' LIKE 'a!%' ESCAPE '!'"),
            "1");
  EXPECT_EQ(One(app_, "SELECT UPPER(NULL) FROM dual"), kNull);
}

TEST_F(SqlFunctionsTest, EveryNamedEntryIsCalledAbove) {
  std::string all;
  for (const Call& c : kCalls) all += std::string(c.expr) + " ";
  std::set<std::string> names;
  for (int id = 0;; ++id) {
    const tabdb::SqlFunction* f = tabdb::FunctionById(id);
    if (f == nullptr) break;
    EXPECT_EQ(tabdb::FunctionId(*f), id);
    EXPECT_EQ(tabdb::FindFunction(f->name), f) << f->name;
    EXPECT_LE(f->min_args, f->max_args) << f->name;
    EXPECT_TRUE(names.insert(f->name).second) << "twice: " << f->name;
    if (f->rule == nullptr) {
      EXPECT_EQ(f->name[0], '$') << f->name << " has no rule but a callable name";
      continue;
    }
    // Names as called, e.g. "UPPER(": EMPTY_* are called in the DDL tests.
    std::string name = f->name;
    if (name.rfind("EMPTY_", 0) == 0 || name.rfind("DBMS_METADATA.", 0) == 0) continue;
    EXPECT_NE(all.find(name + "("), std::string::npos) << name << " is not called by this test";
  }
  EXPECT_EQ(tabdb::FunctionById(-1), nullptr);
}

TEST_F(SqlFunctionsTest, CallsOutsideTheRegistryFail) {
  EXPECT_EQ(Exec(app_, "SELECT UPPER() FROM dual"), 909);
  EXPECT_EQ(Exec(app_, "SELECT UPPER('a', 'b') FROM dual"), 909);
  EXPECT_EQ(Exec(app_, "SELECT DECODE(1, 2) FROM dual"), 909);
  EXPECT_EQ(Exec(app_, "SELECT COALESCE() FROM dual"), 909);
  EXPECT_EQ(Exec(app_, "SELECT NO_SUCH_FUNCTION(1) FROM dual"), 904);
  // Operators the compiler emits are registry entries without a name SQL
  // can call.
  EXPECT_EQ(Exec(app_, "SELECT \"$ADD\"(1, 2) FROM dual"), 904);
  EXPECT_EQ(Exec(app_, "SELECT \"$CONVERT\"(1) FROM dual"), 904);
  // The empty LOB constructors take no argument.
  EXPECT_EQ(One(app_, "SELECT DBMS_LOB.GETLENGTH(EMPTY_CLOB()) FROM dual"), "0");
  EXPECT_EQ(Exec(app_, "SELECT EMPTY_BLOB(1) FROM dual"), 909);
}

TEST_F(SqlFunctionsTest, ScriptFunctionsRefuseBadInputAndServePlsql) {
  // Evaluated as rows are fetched: the insert fails.
  Must(app_, "CREATE TABLE r (s VARCHAR2(40))");
  EXPECT_EQ(Exec(app_, "INSERT INTO r SELECT UNISTR('\\12') FROM dual"), 30186);
  EXPECT_EQ(Exec(app_, "INSERT INTO r SELECT UNISTR('a\\zzzz') FROM dual"), 30186);
  EXPECT_EQ(Exec(app_, "SELECT DBMS_RANDOM.STRING('U') FROM dual"), 909);
  EXPECT_EQ(One(app_, "SELECT UNISTR(NULL) FROM dual"), kNull);
  // Package functions in PL/SQL expressions and in SQL inside a block.
  Must(app_, "DECLARE v VARCHAR2(20) := UTL_RAW.CAST_TO_VARCHAR2(UTL_RAW.CAST_TO_RAW('hi')); BEGIN "
             "INSERT INTO r VALUES (v); INSERT INTO r VALUES (DBMS_RANDOM.STRING('l', 7) || UNISTR('\\0041')); "
             "v := LENGTH(RAWTOHEX(SYS_GUID())); INSERT INTO r VALUES (v); END;");
  Must(app_, "BEGIN DBMS_RANDOM.SEED(42); DBMS_RANDOM.SEED('text'); END;");
  EXPECT_EQ(Query(app_, "SELECT LENGTH(s), SUBSTR(s, -1) FROM r ORDER BY 1, 2"),
            (std::vector<Row>{{"2", "2"}, {"2", "i"}, {"8", "A"}}));
}

TEST_F(SqlFunctionsTest, LongConcatenationChainsRun) {
  // A chain of || as long as a dictionary report's, over view columns:
  // once refused by SQLite's parser as nested too deep.
  std::string chain = "table_name";
  for (int i = 0; i < 40; ++i) chain += " || '|' || status";
  Must(app_, "CREATE TABLE k (a NUMBER PRIMARY KEY)");
  std::string row = One(app_, "SELECT " + chain + " FROM user_constraints");
  EXPECT_EQ(row.size(), std::string("K").size() + 40 * std::string("|ENABLED").size()) << row;
  // Operands of other types, NULLs, a CLOB chain of NULLs only.
  EXPECT_EQ(One(app_, "SELECT 'a' || 1 || NULL || 2.5 || 'b' || DATE '2020-01-02' FROM dual"),
            "a12.5b02-JAN-20");
  EXPECT_EQ(One(app_, "SELECT TO_CLOB(NULL) || NULL || NULL FROM dual"), kNull);
  EXPECT_EQ(One(app_, "SELECT UPPER('a' || 'b') || LOWER('C' || 'D') || 'e' FROM dual"), "ABcde");
}

}  // namespace
}  // namespace ocitest
