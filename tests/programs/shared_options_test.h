// shared_options_test.h - the keywords tabexp and tabimp both accept, run
// through a program's own parse_arguments: each program includes this with
// the arguments it needs besides them, so that both are held to the same
// spellings, values and refusals.
#ifndef TESTS_SHARED_OPTIONS_TEST_H
#define TESTS_SHARED_OPTIONS_TEST_H

#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include "args.h"
}

// The program's command-line parse into a run record of the test file's
// own, and the shared options of that record; each of exp_options_test.cpp
// and imp_options_test.cpp defines them.
int ParseProgramArguments(int argc, char** argv);
const RUN_OPTIONS* ParsedOptions();

namespace sharedopts {

struct Parsed {
  int ret;
  std::string err;
};

// Runs the program's parse over prog, the USERID u/p, args and then `own`.
inline Parsed Parse(const char* prog, const std::vector<std::string>& own,
                    std::vector<std::string> args) {
  args.insert(args.begin(), {prog, "u/p"});
  args.insert(args.end(), own.begin(), own.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  ::testing::internal::CaptureStderr();
  int ret = ParseProgramArguments(static_cast<int>(args.size()), argv.data());
  return {ret, ::testing::internal::GetCapturedStderr()};
}

// Every shared keyword, in capitals and in small letters, lands in
// the run's options; a later parse starts from a cleared record.
inline void CheckAccepted(const char* prog, const std::vector<std::string>& own) {
  for (bool small : {false, true}) {
    auto kw = [&](const std::string& s) {
      std::string r = s;
      if (small)
        for (char& c : r) c = static_cast<char>(tolower(c));
      return r;
    };
    Parsed p = Parse(prog, own, {kw("FILE=") + "d.dmp", kw("LOG=") + "r.log",
                                 kw("TABLES=") + "(emp%,\"Odd\")", kw("FEEDBACK=") + "250",
                                 kw("CHARSET=STRICT"), kw("METRICS=Y")});
    ASSERT_EQ(0, p.ret) << p.err;
    EXPECT_EQ("", p.err);
    EXPECT_STREQ("d.dmp", ParsedOptions()->file);
    EXPECT_STREQ("r.log", ParsedOptions()->log);
    ASSERT_EQ(2, ParsedOptions()->tables.n);
    EXPECT_STREQ("EMP%", ParsedOptions()->tables.list[0].name);
    EXPECT_STREQ("Odd", ParsedOptions()->tables.list[1].name);
    EXPECT_EQ(250, ParsedOptions()->feedback.interval);
    EXPECT_EQ(0, ParsedOptions()->feedback.dots);
    EXPECT_EQ(1, ParsedOptions()->charset_strict);
    EXPECT_EQ(1, ParsedOptions()->metrics);
    EXPECT_EQ(0, ParsedOptions()->ask_password);
  }
  // nothing of the run before survives
  Parsed p = Parse(prog, own, {"FILE=x"});
  ASSERT_EQ(0, p.ret) << p.err;
  EXPECT_EQ(nullptr, ParsedOptions()->tables.list);
  EXPECT_EQ(0, ParsedOptions()->tables.n);
  EXPECT_EQ(0, ParsedOptions()->feedback.interval);
  EXPECT_EQ(0, ParsedOptions()->charset_strict);
  EXPECT_EQ(0, ParsedOptions()->metrics);
  EXPECT_STREQ("", ParsedOptions()->log);
  // the later of two values wins, from the command line or a parameter file
  p = Parse(prog, own, {"FILE=a", "TABLES=A", "FEEDBACK=5", "METRICS=Y", "TABLES=B", "FEEDBACK=0", "FILE=b",
                        "METRICS=N"});
  ASSERT_EQ(0, p.ret) << p.err;
  EXPECT_STREQ("b", ParsedOptions()->file);
  ASSERT_EQ(1, ParsedOptions()->tables.n);
  EXPECT_STREQ("B", ParsedOptions()->tables.list[0].name);
  EXPECT_EQ(0, ParsedOptions()->feedback.interval);
  EXPECT_EQ(0, ParsedOptions()->metrics);
}

// The refusals of the shared keywords: the same message from both
// programs, before the usage text.
inline void CheckRefused(const char* prog, const std::vector<std::string>& own,
                         const std::string& usage_start) {
  const std::string l32(32, 'T');
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"FILE=x", "HELP=Y"}, ""},
      {{"help=y", "FILE=x"}, ""},
      {{"FILE=x", "CHARSET=LOOSE"}, "Invalid parameter \"CHARSET=LOOSE\" specified.\n"},
      {{"FILE=x", "Charset=Strict"}, "Invalid parameter \"Charset=Strict\" specified.\n"},
      {{"File=x"}, "Invalid parameter \"File=x\" specified.\n"},
      {{"FILE=x", "Tables=T"}, "Invalid parameter \"Tables=T\" specified.\n"},
      {{"FILE=x", "HELP=N"}, "Invalid parameter \"HELP=N\" specified.\n"},
      {{"FILE=x", "METRICS=YES"}, "Invalid parameter \"METRICS=YES\" specified.\n"},
      {{"FILE=x", "Metrics=Y"}, "Invalid parameter \"Metrics=Y\" specified.\n"},
      {{"FILE=x", "NOSUCH=1"}, "Invalid parameter \"NOSUCH=1\" specified.\n"},
      {{"FILE=" + std::string(256, 'f')}, "Argument \"file\" too long.\n"},
      {{"FILE=x", "LOG=" + std::string(256, 'l')}, "Argument \"log\" too long.\n"},
      {{"FILE=x", "TABLES="}, "Empty table name in TABLES.\n"},
      {{"FILE=x", "TABLES=\"T\"x"}, "Table name \"T\"x has characters after its closing quote.\n"},
      {{"FILE=x", "TABLES=" + l32}, "Table name " + l32 + " too long or its quote not closed.\n"},
      {{"FILE=x", "FEEDBACK="}, "FEEDBACK must be a number of rows from 0 to 2147483647: \"\".\n"},
      {{"FILE=x", "feedback=2147483648"},
       "FEEDBACK must be a number of rows from 0 to 2147483647: \"2147483648\".\n"},
  };
  for (const Case& c : cases) {
    Parsed p = Parse(prog, own, c.args);
    SCOPED_TRACE(prog + std::string(" ") + c.args.back());
    EXPECT_EQ(-1, p.ret);
    EXPECT_EQ(c.message + usage_start, p.err.substr(0, c.message.size() + usage_start.size()));
  }
}

}  // namespace sharedopts

#endif  // TESTS_SHARED_OPTIONS_TEST_H
