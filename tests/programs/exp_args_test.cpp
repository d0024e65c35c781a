// exp_args_test.cpp - tabexp's command line (parse_export_arguments) and the
// mapping of data dictionary type names to column type codes.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "args.h"

namespace {

// The run record the parses fill (large: kept off the stack).
EXP_RUN* ParsedRun() {
  static EXP_RUN* run = static_cast<EXP_RUN*>(calloc(1, sizeof(EXP_RUN)));
  return run;
}

struct Parsed {
  int ret;
  std::string err;
};

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "tabexp");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  ::testing::internal::CaptureStderr();
  int ret = parse_export_arguments(ParsedRun(), static_cast<int>(args.size()), argv.data());
  return {ret, ::testing::internal::GetCapturedStderr()};
}

const char kUsageStart[] = "tabexp KEYWORD=value\n\nUSERID must be the first parameter";

TEST(ParseArguments, AcceptedCommandLines) {
  struct Case {
    std::vector<std::string> args;
    std::string user, pass, tns, file, log, owner;
    int flag;
  } cases[] = {
      // bare user/password, owner in small letters looked up in capitals
      {{"scott/tiger", "FILE=a.dmp", "owner=app"}, "scott", "tiger", "", "a.dmp", "", "APP", 0},
      {{"USERID=u/p@db1", "file=x", "OWNER=app", "STORAGE=Y"}, "u", "p", "db1", "x", "", "APP", 1},
      {{"userid=u/p@data/d b", "FILE=x", "OWNER=a", "storage=y", "LOG=l.txt"},
       "u", "p", "data/d b", "x", "l.txt", "A", 1},
      // user name may be empty; an "@" only in the connect identifier part
      {{"/pw", "FILE=x", "OWNER=o"}, "", "pw", "", "x", "", "O", 0},
      {{"u/p@h@k", "FILE=x", "OWNER=o"}, "u", "p", "h@k", "x", "", "O", 0},
      // quoted owner keeps its case
      {{"u/p", "FILE=x", "OWNER=\"Andy\""}, "u", "p", "", "x", "", "Andy", 0},
      // a USERID without a password: it is asked for before the connect
      {{"USERID=nouserpass", "FILE=x", "OWNER=o"}, "nouserpass", "", "", "x", "", "O", 0},
      {{"app@/data/shop.db", "FILE=x", "OWNER=o"}, "app", "", "/data/shop.db", "x", "", "O", 0},
      // longest values that fit are taken whole
      {{"u/" + std::string(31, 'p') + "@" + std::string(127, 't'), "FILE=" + std::string(255, 'f'),
        "OWNER=\"" + std::string(31, 'a') + "\""},
       "u", std::string(31, 'p'), std::string(127, 't'),
       std::string(255, 'f'), "", std::string(31, 'a'), 0},
      {{"u/p", "FILE=x", "OWNER=mIx_3$#"}, "u", "p", "", "x", "", "MIX_3$#", 0},
      // the character after FILE, LOG and OWNER is skipped unseen
      {{"u/p", "FILENAME=x", "LOGFILE=y", "OWNER=o"}, "u", "p", "", "AME=x", "ILE=y", "O", 0},
      // a keyword given twice takes the later value
      {{"u/p", "FILE=a", "FILE=b", "OWNER=o", "OWNER=p"}, "u", "p", "", "b", "", "P", 0},
  };
  for (const Case& c : cases) {
    Parsed p = Parse(c.args);
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    ASSERT_EQ(0, p.ret) << p.err;
    EXPECT_EQ("", p.err);
    EXPECT_EQ(c.user, ParsedRun()->conn.username);
    EXPECT_EQ(c.pass, ParsedRun()->conn.password);
    EXPECT_EQ(c.tns, ParsedRun()->conn.tnsname);
    EXPECT_EQ(c.file, ParsedRun()->dump_filename);
    EXPECT_EQ(c.log, ParsedRun()->log_filename);
    EXPECT_EQ(c.owner, ParsedRun()->owner_name);
    EXPECT_EQ(c.flag, ParsedRun()->flag);
    EXPECT_EQ(0, ParsedRun()->opts.charset_strict);
  }
  for (const char* strict : {"CHARSET=STRICT", "charset=strict"}) {
    Parsed p = Parse({"u/p", "FILE=x", strict, "OWNER=o"});
    ASSERT_EQ(0, p.ret) << p.err;
    EXPECT_EQ(1, ParsedRun()->opts.charset_strict) << strict;
    EXPECT_EQ(0, ParsedRun()->flag) << "no option bit of the dump header";
  }
  EXPECT_EQ(0, Parse({"u/p", "FILE=x", "OWNER=o"}).ret);
  EXPECT_EQ(0, ParsedRun()->opts.charset_strict) << "each parse starts afresh";
  EXPECT_EQ(1, ParsedRun()->parallel) << "one session unless PARALLEL says more";
  for (const char* n : {"1", "2", "64", "007"}) {
    Parsed p = Parse({"u/p", "FILE=x", "OWNER=o", std::string("PARALLEL=") + n});
    ASSERT_EQ(0, p.ret) << p.err;
    EXPECT_EQ(std::atoi(n), ParsedRun()->parallel) << n;
  }
  EXPECT_EQ(0, Parse({"u/p", "FILE=x", "OWNER=o", "parallel=3"}).ret);
  EXPECT_EQ(3, ParsedRun()->parallel);
  EXPECT_EQ(0, Parse({"u/p", "FILE=x", "OWNER=o"}).ret);
  EXPECT_EQ(1, ParsedRun()->parallel) << "each parse starts afresh";
}

// Each run record holds its own options and USERID: a second parse into
// another record leaves the first one's as they were.
TEST(ParseArguments, RunsKeepTheirOwnOptions) {
  std::vector<std::string> first = {"tabexp", "a/pa@one", "FILE=one.dmp", "OWNER=x",
                                    "TABLES=(t1,\"T2\")", "FEEDBACK=7", "CHARSET=STRICT"};
  std::vector<std::string> second = {"tabexp", "b/pb@two", "FILE=two.dmp", "OWNER=y"};
  EXP_RUN* runs[2] = {static_cast<EXP_RUN*>(calloc(1, sizeof(EXP_RUN))),
                      static_cast<EXP_RUN*>(calloc(1, sizeof(EXP_RUN)))};
  ASSERT_NE(nullptr, runs[0]);
  ASSERT_NE(nullptr, runs[1]);
  int i = 0;
  for (std::vector<std::string>* args : {&first, &second}) {
    std::vector<char*> argv;
    for (std::string& a : *args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ASSERT_EQ(0, parse_export_arguments(runs[i++], static_cast<int>(args->size()), argv.data()));
  }
  EXPECT_STREQ("a", runs[0]->conn.username);
  EXPECT_STREQ("pa", runs[0]->conn.password);
  EXPECT_STREQ("one", runs[0]->conn.tnsname);
  EXPECT_STREQ("one.dmp", runs[0]->opts.file);
  ASSERT_EQ(2, runs[0]->opts.tables.n);
  EXPECT_STREQ("T1", runs[0]->opts.tables.list[0].name);
  EXPECT_STREQ("T2", runs[0]->opts.tables.list[1].name);
  EXPECT_EQ(7, runs[0]->opts.feedback.interval);
  EXPECT_EQ(1, runs[0]->opts.charset_strict);
  EXPECT_STREQ("b", runs[1]->conn.username);
  EXPECT_STREQ("two", runs[1]->conn.tnsname);
  EXPECT_EQ(nullptr, runs[1]->opts.tables.list);
  EXPECT_EQ(0, runs[1]->opts.feedback.interval);
  EXPECT_EQ(0, runs[1]->opts.charset_strict);
  for (EXP_RUN* r : runs) {
    clear_run_options(&r->opts);
    free(r);
  }
}

TEST(ParseArguments, RefusedCommandLines) {
  const std::string l40(40, 'p');
  const std::string l32(32, 'o');
  struct Case {
    std::vector<std::string> args;
    std::string message;  // printed before the usage text
  } cases[] = {
      {{}, ""},  // no argument at all: usage only, nothing read
      {{"HELP=Y"}, ""},
      {{"help=y", "FILE=x"}, ""},
      {{"u/p", "FILE=x", "OWNER=o", "HELP=Y"}, ""},
      {{"u/p", "help=y", "FILE=x"}, ""},
      {{"USERID"}, "USERID parameter format error.\n"},
      {{"FILE=x", "OWNER=o"}, "USERID parameter format error.\n"},
      {{"HELP=N"}, "USERID parameter format error.\n"},
      {{std::string(32, 'u') + "/p", "FILE=x", "OWNER=o"}, "Argument \"username\" too long.\n"},
      {{"u/" + l40 + "@db", "FILE=x", "OWNER=o"}, "Argument \"password\" too long.\n"},
      {{"u/p", "FILE=x", "OWNER=" + l32}, "Owner argument too large.\n"},
      {{"u/p", "FILE=x", "OWNER=\"Andy"}, "Owner argument too large.\n"},
      {{"u/p", "FILE=x", "OWNER=\"" + l32 + "\""}, "Owner argument too large.\n"},
      {{"u/p", "FILE=x", "OWNER=o", "STORAGE=N"}, "Invalid parameter \"STORAGE=N\" specified.\n"},
      {{"u/p", "FILE=x", "OWNER=o", "CHARSET=LOOSE"}, "Invalid parameter \"CHARSET=LOOSE\" specified.\n"},
      {{"u/p", "FILE=x", "OWNER=o", "Charset=Strict"}, "Invalid parameter \"Charset=Strict\" specified.\n"},
      {{"u/p", "File=a.dmp", "OWNER=o"}, "Invalid parameter \"File=a.dmp\" specified.\n"},
      {{"u/p", "HELP=N"}, "Invalid parameter \"HELP=N\" specified.\n"},
      // a second USERID is refused without showing its password
      {{"u/p", "USERID=u/secret"}, "Invalid parameter \"USERID=u/*\" specified.\n"},
      {{"u/p", "OWNER=o"}, "Output file not specified.\n"},
      {{"u/p", "FILE", "OWNER=o"}, "Output file not specified.\n"},
      {{"u/p", "FILE=x"}, "Owner not specified.\n"},
      {{"u/p", "FILE=x", "OWNER=\"\""}, "Owner not specified.\n"},
      {{"u/p", "FILE=x", "OWNER"}, "Owner not specified.\n"},
      // values are taken whole or refused, never cut
      {{"u/" + l40, "FILE=x", "OWNER=o"}, "Argument \"password\" too long.\n"},
      {{"u/p@" + std::string(128, 't'), "FILE=x", "OWNER=o"}, "Argument \"tnsname\" too long.\n"},
      {{"u/p", "FILE=" + std::string(256, 'f'), "OWNER=o"}, "Argument \"file\" too long.\n"},
      {{"u/p", "FILE=x", "LOG=" + std::string(256, 'l'), "OWNER=o"}, "Argument \"log\" too long.\n"},
      {{"u/p", "FILE=x", "OWNER=\"APP\"junk"},
       "Owner argument \"OWNER=\"APP\"junk\" has characters after its closing quote.\n"},
      {{"u/p", "FILE=x", "OWNER=o", "TABLES=\"T\"x"}, "Table name \"T\"x has characters after its closing quote.\n"},
      {{"u/p", "FILE=x", "OWNER=o", "TABLES=a,,b"}, "Empty table name in TABLES.\n"},
      {{"u/p", "FILE=x", "OWNER=o", "TABLES=" + l32}, "Table name " + l32 + " too long or its quote not closed.\n"},
      {{"u/p", "FILE=x", "OWNER=o", "FEEDBACK=-1"}, "FEEDBACK must be a number of rows from 0 to 2147483647: \"-1\".\n"},
      {{"u/p", "FILE=x", "OWNER=o", "FEEDBACK=1x"}, "FEEDBACK must be a number of rows from 0 to 2147483647: \"1x\".\n"},
      {{"u/p", "FILE=x", "OWNER=o", "FEEDBACK=2147483648"}, "FEEDBACK must be a number of rows from 0 to 2147483647: \"2147483648\".\n"},
      {{"u/p", "FILE=x", "OWNER=o", "PARALLEL=0"}, "PARALLEL must be a number of sessions from 1 to 64: \"0\".\n"},
      {{"u/p", "FILE=x", "OWNER=o", "PARALLEL=x"}, "PARALLEL must be a number of sessions from 1 to 64: \"x\".\n"},
      {{"u/p", "FILE=x", "OWNER=o", "PARALLEL=65"}, "PARALLEL must be a number of sessions from 1 to 64: \"65\".\n"},
      {{"u/p", "FILE=x", "OWNER=o", "parallel=-2"}, "PARALLEL must be a number of sessions from 1 to 64: \"-2\".\n"},
      {{"u/p", "FILE=x", "OWNER=o", "PARALLEL="}, "PARALLEL must be a number of sessions from 1 to 64: \"\".\n"},
      {{"u/p", "FILE=x", "OWNER=o", "PARALLEL=2 "}, "PARALLEL must be a number of sessions from 1 to 64: \"2 \".\n"},
  };
  for (const Case& c : cases) {
    Parsed p = Parse(c.args);
    SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args[0]);
    EXPECT_EQ(-1, p.ret);
    EXPECT_EQ(c.message + kUsageStart, p.err.substr(0, c.message.size() + sizeof(kUsageStart) - 1));
  }
}

TEST(ShowUsage, ExactText) {
  ::testing::internal::CaptureStderr();
  show_usage("prog");
  EXPECT_EQ(
      "prog KEYWORD=value\n"
      "\n"
      "USERID must be the first parameter on the command line.\n"
      "\n"
      "USERID   username/password@tnsname\n"
      "FILE     output files (EXPDAT.DMP)\n"
      "OWNER    owner name\n"
      "LOG      log file of screen output\n"
      "STORAGE  export storage clause (Y)\n"
      "CHARSET  refuse to lose characters in conversion (STRICT)\n"
      "TABLES   list of table names, % and _ as in LIKE (all)\n"
      "FEEDBACK display progress every x rows (0)\n"
      "CONSISTENT read all tables from one snapshot (Y)\n"
      "PARALLEL number of worker sessions (1)\n"
      "METRICS  time and round trips per table and for the run (N)\n"
      "PARFILE  parameter filename\n"
      "\n"
      "With PARALLEL above 1 the tables are read by that many sessions at\n"
      "once, each from the snapshot of the first; FEEDBACK dots are not shown.\n"
      "\n"
      "If OWNER is case sensitive, use quotation marks. Suppose one USER\n"
      "named Andy, the input maybe as OWNER='\"Andy\"' or OWNER=\"\\\"Andy\\\"\"\n"
      "\n"
      "Exit status: 0 everything was exported unchanged; 1 the export completed\n"
      "with warnings (an object not exported or changed, characters lost in\n"
      "conversion); 255 the export failed or was interrupted, and an existing\n"
      "FILE was left as it was.\n"
      "\n",
      ::testing::internal::GetCapturedStderr());
}

TEST(ConvertTypeToInt, DictionaryNames) {
  struct Case {
    const char* name;
    int code;
  } cases[] = {
      {"NUMBER", 5}, {"FLOAT", 5}, {"CHAR", 1}, {"VARCHAR2", 3}, {"DATE", 6}, {"NCHAR", 2},
      {"NVARCHAR2", 4}, {"LONG", 13}, {"LONG RAW", 14}, {"CLOB", 15}, {"BLOB", 17},
      {"NCLOB", 16}, {"RAW", 12}, {"BINARY_FLOAT", 18}, {"BINARY_DOUBLE", 19},
      {"TIMESTAMP(0)", 7}, {"TIMESTAMP(6)", 7}, {"TIMESTAMP(9)", 7},
      {"TIMESTAMP(6) WITH TIME ZONE", 8}, {"TIMESTAMP(3) WITH LOCAL TIME ZONE", 9},
      {"INTERVAL YEAR(4) TO MONTH", 10}, {"INTERVAL DAY(2) TO SECOND(6)", 11},
      {"INTERVAL DAY(9) TO SECOND(0)", 11},
      // case, blanks and unknown names
      {"number", 999}, {"LONG RAW ", 999}, {" NUMBER", 999}, {"VARCHAR", 999}, {"ROWID", 999},
      {"UROWID", 999}, {"BFILE", 999}, {"XMLTYPE", 999}, {"SDO_GEOMETRY", 999}, {"", 999},
      {"TIMESTAMP(6) WITH ZONE", 999}, {"TIMESTAMP(6) WITH TIME ZONE X", 999},
      {"INTERVAL YEAR(2) TO DAY", 999}, {"INTERVAL DAY(2) TO MINUTE", 999},
      // a prefix without ")" after it: never read past the name
      {"TIMESTAMP", 999}, {"TIMESTAMP_TYPE", 999}, {"INTERVAL YEAR", 999},
      {"INTERVAL DAY", 999}, {"INTERVAL DAYS_T", 999},
  };
  for (const Case& c : cases) EXPECT_EQ(c.code, convert_type_to_int(c.name)) << c.name;
}

}  // namespace
