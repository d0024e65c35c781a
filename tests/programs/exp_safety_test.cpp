// exp_safety_test.cpp - tabexp and tabimp run as processes: the character
// sets compared before any table (warning, CHARSET=STRICT), files only
// their owner may read, errors that name their table, and a LOG file that
// holds every message and the closing line; CHAR and NCHAR values as the
// database pads them; tabsql reading and writing the NLS_LANG set.
#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dump_cursor.h"
#include "support.h"
#include "util.h"

extern "C" int tabexp_main(int argc, char** argv);

namespace {

using testsupport::CreateDatabase;
using testsupport::ProcResult;
using testsupport::ReadFile;
using testsupport::RunSql;
using testsupport::TempDir;
using testsupport::WriteFile;

const char kUtf8[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";
const char kLatin1[] = "NLS_LANG=AMERICAN_AMERICA.WE8ISO8859P1";
const char kExpDone[] = "\nExport terminated successfully.\n\n";
const char kExpFailed[] = "\nExport terminated unsuccessfully.\n\n";
const char kImpDone[] = "\nImport terminated successfully.\n\n";
const char kImpFailed[] = "\nImport terminated unsuccessfully.\n\n";
const char kLossyDb[] =
    "Warning: client character set WE8ISO8859P1 cannot hold every character of database "
    "character set AL32UTF8.\n";
const char kLossyNat[] =
    "Warning: client character set WE8ISO8859P1 cannot hold every character of national "
    "character set AL16UTF16.\n";
const char kRefused[] = "Characters would be lost: run refused by CHARSET=STRICT.\n";

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
int Mode(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

class SafetyRun : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    dump_ = dir_.file("x.dmp");
    log_ = dir_.file("x.log");
    CreateDatabase(db_, "manager");
    Sql("CREATE USER app IDENTIFIED BY app;\nGRANT DBA TO app;\n"
        "CREATE USER dst IDENTIFIED BY dst;\nGRANT DBA TO dst;\n",
        "system/manager");
  }
  void Sql(const std::string& script, const std::string& user = "app/app") {
    ProcResult r = RunSql(user + "@" + db_, script, {kUtf8});
    ASSERT_EQ(0, r.status) << script << "\n" << r.out << r.err;
  }
  std::string Query(const std::string& script, const std::string& user = "app/app") {
    return RunSql(user + "@" + db_, script, {kUtf8}).out;
  }
  ProcResult Export(std::vector<std::string> more = {}, const char* nls = kUtf8,
                    const std::string& userid = "app/app") {
    std::vector<std::string> argv = {TABEXP_PATH, userid + "@" + db_, "FILE=" + dump_, "OWNER=app"};
    argv.insert(argv.end(), more.begin(), more.end());
    return testsupport::Run(argv, {nls});
  }
  ProcResult Import(std::vector<std::string> more = {}) {
    std::vector<std::string> argv = {TABIMP_PATH, "system/manager@" + db_, "FILE=" + dump_,
                                     "TOUSER=dst"};
    argv.insert(argv.end(), more.begin(), more.end());
    return testsupport::Run(argv, {kUtf8});
  }
  bool DstHasTable(const std::string& name) {
    return Has(Query("SELECT 'n=' || COUNT(*) FROM ALL_TABLES WHERE OWNER = 'DST' AND TABLE_NAME = '" +
                     name + "';\n"),
               "n=1");
  }

  TempDir dir_;
  std::string db_, dump_, log_;
};

// ---- character sets ---------------------------------------------------------------

TEST_F(SafetyRun, ExportComparesTheCharacterSets) {
  Sql("CREATE TABLE t (id NUMBER, v VARCHAR2(10));\nINSERT INTO t VALUES (1, '\xC3\xBC');\n");
  struct Case {
    const char* nls;
    std::vector<std::string> args;
    std::vector<std::string> lines;  // character set lines, in order; none for a lossless set
    bool refused;
  } cases[] = {
      {kUtf8, {}, {}, false},
      {"NLS_LANG=AMERICAN_AMERICA.UTF8", {"CHARSET=STRICT"}, {}, false},
      {kLatin1, {}, {kLossyDb, kLossyNat}, false},
      // no character set part: Oracle's default US7ASCII
      {"NLS_LANG=AMERICAN_AMERICA", {},
       {"Warning: client character set US7ASCII cannot hold every character of database "
        "character set AL32UTF8.\n"},
       false},
      {kLatin1, {"charset=strict"},
       {"Client character set WE8ISO8859P1 cannot hold every character of database character "
        "set AL32UTF8.\n",
        "Client character set WE8ISO8859P1 cannot hold every character of national character "
        "set AL16UTF16.\n",
        kRefused},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.nls) + (c.args.empty() ? "" : " " + c.args[0]));
    std::remove(dump_.c_str());
    std::vector<std::string> args = c.args;
    args.push_back("LOG=" + log_);
    ProcResult r = Export(args, c.nls);
    std::string log = ReadFile(log_);
    // a run that may lose characters completes with warnings, status 1
    EXPECT_EQ(c.refused ? 255 : c.lines.empty() ? 0 : 1, r.status) << r.err;
    EXPECT_EQ(!c.refused, Mode(dump_) != -1) << "a refused run creates no dump file";
    if (c.lines.empty()) {
      EXPECT_FALSE(Has(r.err, "character set")) << r.err;
      EXPECT_TRUE(EndsWith(r.err, "\n\n" + std::string(kExpDone).substr(1))) << r.err;
    }
    // Each line on standard error and in the log, before any table.
    size_t at = 0;
    for (const std::string& line : c.lines) {
      EXPECT_TRUE(Has(r.err, line)) << r.err;
      size_t pos = log.find(line, at);
      ASSERT_NE(std::string::npos, pos) << log;
      at = pos + line.size();
    }
    EXPECT_FALSE(Has(log.substr(0, at), ". . exporting")) << log;
    EXPECT_TRUE(EndsWith(log, c.refused            ? kExpFailed
                              : c.lines.empty() ? kExpDone
                                                : "\nExport terminated successfully with warnings.\n\n"))
        << log;
  }
}

// The header flag is set only for a lossy run (the operation's state is
// looked at after an in-process run).
TEST_F(SafetyRun, LossyExportSetsTheFlag) {
  Sql("CREATE TABLE t (n NUMBER);\n");
  const char* had = getenv("NLS_LANG");
  std::string before = had ? had : "";
  for (const char* nls : {"AMERICAN_AMERICA.AL32UTF8", "AMERICAN_AMERICA.WE8MSWIN1252"}) {
    std::vector<std::string> args = {"tabexp", "app/app@" + db_, "FILE=" + dump_, "OWNER=app"};
    std::vector<char*> argv = testsupport::Pointers(args);
    setenv("NLS_LANG", nls, 1);
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    EXP_RUN* run = static_cast<EXP_RUN*>(calloc(1, sizeof(EXP_RUN)));
    ASSERT_NE(nullptr, run);
    int rc = export_run(run, static_cast<int>(args.size()), argv.data());
    const int flag = run->flag;
    free(run);
    ::testing::internal::GetCapturedStdout();
    std::string err = ::testing::internal::GetCapturedStderr();
    if (had) setenv("NLS_LANG", before.c_str(), 1); else unsetenv("NLS_LANG");
    bool lossy = std::string(nls).find("UTF8") == std::string::npos;
    // a lossy conversion completes with warnings
    ASSERT_EQ(lossy ? 1 : 0, rc) << err;
    EXPECT_EQ(lossy, (flag & EXP_LOSSY_CHARSET) != 0) << nls;
    EXPECT_EQ(lossy, Has(err, "Warning: client character set WE8MSWIN1252")) << err;
  }
}

TEST_F(SafetyRun, ImportComparesTheDumpsCharacterSet) {
  Sql("CREATE TABLE t (id NUMBER, v VARCHAR2(10));\nINSERT INTO t VALUES (1, 'a');\n");
  // A dump written in a Latin-1 client set: the warning, or with
  // CHARSET=STRICT a refusal before the table is created.
  ASSERT_EQ(1, Export({}, kLatin1).status);
  ProcResult r = Import({"CHARSET=STRICT", "LOG=" + log_});
  EXPECT_EQ(255, r.status);
  EXPECT_TRUE(Has(r.err, kRefused)) << r.err;
  EXPECT_FALSE(Has(r.err, "Table \"T\"")) << r.err;
  EXPECT_FALSE(DstHasTable("T"));
  std::string log = ReadFile(log_);
  EXPECT_TRUE(Has(log, kRefused)) << log;
  EXPECT_TRUE(EndsWith(log, kImpFailed)) << log;

  r = Import({"LOG=" + log_});
  EXPECT_EQ(0, r.status) << r.err;
  log = ReadFile(log_);
  EXPECT_TRUE(Has(r.err, kLossyDb)) << r.err;
  EXPECT_LT(log.find(kLossyNat), log.find(". . importing table")) << log;
  EXPECT_TRUE(DstHasTable("T"));

  // A dump in AL32UTF8 passes CHARSET=STRICT without a word.
  Sql("DROP TABLE t;\n", "dst/dst");
  ASSERT_EQ(0, Export().status);
  r = Import({"charset=strict"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_FALSE(Has(r.err, "character set")) << r.err;
  EXPECT_TRUE(DstHasTable("T"));
}

// ---- files and the log --------------------------------------------------------------

TEST_F(SafetyRun, DumpAndLogFilesOnlyTheOwnerMayRead) {
  Sql("CREATE TABLE t (n NUMBER);\nINSERT INTO t VALUES (1);\n");
  mode_t old = umask(0);  // the programs' own mode shows through
  ProcResult r = Export({"LOG=" + log_});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(0600, Mode(dump_));
  EXPECT_EQ(0600, Mode(log_));

  // Files written over: narrowed to 0600 and emptied first.
  WriteFile(dump_, std::string(100000, 'x'));
  WriteFile(log_, std::string(100000, 'y'));
  chmod(dump_.c_str(), 0666);
  chmod(log_.c_str(), 0644);
  r = Export({"LOG=" + log_});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(0600, Mode(dump_));
  EXPECT_EQ(0600, Mode(log_));
  EXPECT_LT(ReadFile(dump_).size(), 100000u);
  EXPECT_FALSE(Has(ReadFile(log_), "yyyy"));

  std::string imp_log = dir_.file("imp.log");
  WriteFile(imp_log, "old");
  chmod(imp_log.c_str(), 0666);
  r = Import({"LOG=" + imp_log});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(0600, Mode(imp_log));
  EXPECT_EQ(0600, Mode(dump_)) << "reading a dump leaves its mode";
  umask(old);

  // A umask narrows further.
  std::remove(dump_.c_str());
  old = umask(0077);
  EXPECT_EQ(0, Export().status);
  umask(old);
  EXPECT_EQ(0600, Mode(dump_));
}

TEST_F(SafetyRun, ErrorsNameTheirTableAndTheLogHoldsThem) {
  // Export: a value that does not fit its buffer in the client character
  // set (a character outside the Basic Multilingual Plane takes six bytes
  // in UTF8) fails the table.
  Sql("CREATE TABLE good (n NUMBER);\nCREATE TABLE bad (id NUMBER, v VARCHAR2(4));\n"
      "INSERT INTO bad VALUES (1, '\xF0\x9F\x98\x80');\nCOMMIT;\n");
  ProcResult r = Export({"LOG=" + log_}, "NLS_LANG=AMERICAN_AMERICA.UTF8");
  EXPECT_EQ(255, r.status);
  const std::string failure =
      "Table \"BAD\":\nValue of column \"V\" in table \"BAD\" was cut to fit its buffer.\n";
  EXPECT_TRUE(Has(r.err, failure)) << r.err;
  EXPECT_TRUE(EndsWith(r.err, kExpFailed)) << r.err;
  EXPECT_FALSE(Has(r.err, "Table \"GOOD\"")) << r.err;
  std::string log = ReadFile(log_);
  EXPECT_TRUE(Has(log, failure)) << log;
  EXPECT_TRUE(Has(log, ". . exporting table")) << log;
  EXPECT_TRUE(EndsWith(log, kExpFailed)) << log;
  Sql("DROP TABLE bad;\n");

  // A failed logon is in the log too, in place of an older run's log.
  WriteFile(log_, "\nExport terminated successfully.\n\n");
  r = Export({"LOG=" + log_}, kUtf8, "app/wrong");
  EXPECT_EQ(255, r.status);
  log = ReadFile(log_);
  EXPECT_EQ(0u, log.find("Connect to oracle:\nORA-01017")) << log;
  EXPECT_TRUE(EndsWith(log, kExpFailed)) << log;

  // Import: a table that exists already stops the run without IGNORE=Y...
  ASSERT_EQ(0, Export().status);
  Sql("CREATE TABLE good (n NUMBER);\n", "dst/dst");
  r = Import({"LOG=" + log_});
  EXPECT_EQ(255, r.status);
  const std::string exists = "Table \"GOOD\":\nOCIStmtExecute()\nORA-00955";
  EXPECT_TRUE(Has(r.err, exists)) << r.err;
  EXPECT_TRUE(EndsWith(r.err, kImpFailed)) << r.err;
  log = ReadFile(log_);
  EXPECT_TRUE(Has(log, exists)) << log;
  EXPECT_TRUE(Has(log, "Create table error.\n")) << log;
  EXPECT_TRUE(EndsWith(log, kImpFailed)) << log;

  // ...and with it "already exists" is passed over in silence, and the run
  // goes on to success.
  r = Import({"IGNORE=Y", "LOG=" + log_});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(std::string::npos, r.err.find("ORA-00955")) << r.err;
  log = ReadFile(log_);
  EXPECT_EQ(std::string::npos, log.find("ORA-00955")) << log;
  EXPECT_TRUE(EndsWith(log, kImpDone)) << log;
}

// ---- CHAR and NCHAR values ------------------------------------------------------------

// The value slots of the first table's rows (NULL as "<null>").
std::vector<std::vector<std::string>> Rows(const std::string& raw, std::vector<uint32_t>* clens) {
  auto u8 = reinterpret_cast<const uint8_t*>(raw.data());
  std::vector<std::vector<std::string>> rows;
  if (raw.size() < 1024 + 56) return rows;
  uint32_t ncol = get_be32(u8 + 1024 + 4);
  testsupport::DumpCursor r(raw, get_be64(u8 + 1024 + 16));
  r.Bytes(r.Word());
  for (uint32_t c = 0; c < ncol; c++) clens->push_back(get_be32(
      reinterpret_cast<const uint8_t*>(r.Bytes(40).data()) + 4));
  while (r.ok() && r.Peek() != MARK_ROWS_END) {
    std::vector<std::string> row;
    for (uint32_t c = 0; c < ncol; c++) {
      uint16_t w = r.Word();
      row.push_back(w == MARK_NULL ? "<null>" : r.Bytes(w));
    }
    r.Word();
    rows.push_back(row);
  }
  return rows;
}

TEST_F(SafetyRun, CharAndNcharAsTheDatabasePadsThem) {
  const std::string jp = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE6\x97\xA5\xE6\x9C\xAC";  // 5 characters
  Sql("CREATE TABLE p (c CHAR(5 CHAR), nc NCHAR(5), nv NVARCHAR2(5), b CHAR(3));\n"
      "INSERT INTO p VALUES ('ab', 'n', 'x', 'z');\n"
      "INSERT INTO p VALUES ('\xC3\xA4', '" + jp + "', '" + jp + "', NULL);\n");
  ASSERT_EQ(0, Export().status);
  std::vector<uint32_t> clen;
  auto rows = Rows(ReadFile(dump_), &clen);
  ASSERT_EQ(2u, rows.size());
  ASSERT_EQ((std::vector<uint32_t>{20, 10, 10, 3}), clen);
  EXPECT_EQ((std::vector<std::string>{"ab   ", "n    ", "x", "z  "}), rows[0]);
  // National text in a multi-byte client set: the one kind of value longer
  // than its column's DATA_LENGTH (15 bytes against 10).
  EXPECT_EQ((std::vector<std::string>{"\xC3\xA4    ", jp, jp, "<null>"}), rows[1]);

  ASSERT_EQ(0, Import().status);
  const std::string q = "SELECT c || '|' || nc || '|' || nv || '|' || LENGTH(nc) FROM p ORDER BY nv;\n";
  std::string src = Query(q), copy = Query(q, "dst/dst");
  EXPECT_TRUE(Has(src, "ab   |n    |x|5")) << src;
  EXPECT_EQ(src, copy);
}

// ---- tabsql and NLS_LANG ----------------------------------------------------------------

TEST_F(SafetyRun, TabsqlReadsAndWritesTheClientSet) {
  auto Run = [&](const std::string& script, std::vector<std::string> env) {
    return testsupport::Run({TABSQL_PATH, "-S", "app/app@" + db_}, env, script);
  };
  ProcResult r = Run("CREATE TABLE s (v VARCHAR2(10));\nINSERT INTO s VALUES ('caf\xE9');\n",
                     {kLatin1});
  ASSERT_EQ(0, r.status) << r.err;
  const std::string q = "SELECT v, LENGTH(v) FROM s;\n";
  EXPECT_EQ("V|LENGTH(V)\ncaf\xC3\xA9|4\n", Run(q, {kUtf8}).out);
  EXPECT_EQ("V|LENGTH(V)\ncaf\xE9|4\n", Run(q, {kLatin1}).out);
  // Without NLS_LANG, or with an empty one, UTF-8 as always.
  EXPECT_EQ("V|LENGTH(V)\ncaf\xC3\xA9|4\n", Run(q, {"NLS_LANG"}).out);
  EXPECT_EQ("V|LENGTH(V)\ncaf\xC3\xA9|4\n", Run(q, {"NLS_LANG="}).out);
  r = Run(q, {"NLS_LANG=KLINGON_AMERICA.AL32UTF8"});
  EXPECT_EQ(1, r.status);
  EXPECT_TRUE(Has(r.err, "ORA-12705")) << r.err;
  // A name in an error message comes in the client set too.
  r = Run("DESCRIBE \xE9t\xE9\n", {kLatin1});
  EXPECT_TRUE(Has(r.err, "ORA-04043: object \xE9t\xE9 does not exist\n")) << r.err;

  // The character sets as an Oracle client reads them.
  EXPECT_EQ("PARAMETER|VALUE\nNLS_CHARACTERSET|AL32UTF8\nNLS_NCHAR_CHARACTERSET|AL16UTF16\n",
            Run("SELECT parameter, value FROM NLS_DATABASE_PARAMETERS WHERE parameter IN "
                "('NLS_CHARACTERSET','NLS_NCHAR_CHARACTERSET') ORDER BY 1;\n",
                {kUtf8})
                .out);
  EXPECT_EQ("N\n0\n", Run("SELECT COUNT(*) n FROM SYS.NLS_SESSION_PARAMETERS WHERE parameter LIKE "
                          "'%CHARACTERSET';\n",
                          {kUtf8})
                          .out);
}

}  // namespace
