// common_args_test.cpp - the command-line helpers both programs share:
// TABLES lists and LIKE matching, parameter files, the password read from
// standard input, blanking a password in argv, values taken whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

extern "C" {
#include "args.h"
}

namespace {

using testsupport::TempDir;
using testsupport::WriteFile;

TEST(LikeMatch, PercentUnderscoreAndLiterals) {
  struct Case {
    const char *pattern, *name;
    bool match;
  } cases[] = {
      {"EMP", "EMP", true},       {"EMP", "EMPX", false},     {"EMP%", "EMP", true},
      {"EMP%", "EMP_HIST", true}, {"%HIST", "EMP_HIST", true}, {"%", "", true},
      {"_", "", false},           {"E_P", "EMP", true},       {"E_P", "EP", false},
      {"%M%S%", "EMP_HIST", true}, {"%M%S%X", "EMP_HIST", false},
      // back-tracking: the first candidate for the last literal is not the one
      {"%AB", "AAB", true},       {"A%B%C", "AXBXBYC", true}, {"A%B%C", "AXBXBY", false},
      {"%%", "X", true},          {"emp", "EMP", false},
      // _ stands for one character, also one of several bytes in UTF-8
      {"T_", "T\xc3\xa9", true},  {"T__", "T\xc3\xa9", false}, {"_\xe2\x82\xac", "A\xe2\x82\xac", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.match, like_match(c.pattern, c.name) != 0) << c.pattern << " ~ " << c.name;
}

std::string Err(const std::function<int()>& f, int* rc) {
  ::testing::internal::CaptureStderr();
  *rc = f();
  return ::testing::internal::GetCapturedStderr();
}

TEST(TableList, ParsedSelectedAndTurnedIntoSql) {
  int rc;
  TABLE_LIST t = {};
  ASSERT_EQ("", Err([&] { return parse_tables(&t, " ( emp% , \"Mixed, odd\",dept ) "); }, &rc));
  ASSERT_EQ(0, rc);
  ASSERT_EQ(3, t.n);
  EXPECT_STREQ("EMP%", t.list[0].name);
  EXPECT_EQ(0, t.list[0].quoted);
  EXPECT_STREQ("Mixed, odd", t.list[1].name);  // the comma inside quotes is part of it
  EXPECT_EQ(1, t.list[1].quoted);
  EXPECT_STREQ("DEPT", t.list[2].name);

  EXPECT_TRUE(table_selected(&t, "EMP_HIST"));
  EXPECT_TRUE(table_selected(&t, "Mixed, odd"));
  EXPECT_FALSE(table_selected(&t, "MIXED, ODD"));
  EXPECT_FALSE(table_selected(&t, "DEPTS"));

  char* sql = table_condition(&t);
  EXPECT_STREQ(" and (TABLE_NAME like 'EMP%' or TABLE_NAME like 'Mixed, odd' escape '\\' or "
               "TABLE_NAME like 'DEPT')", sql);
  free(sql);

  // a quoted name is exact: its % and _ are escaped, its quotes doubled
  ASSERT_EQ(0, parse_tables(&t, "\"a_%'b\""));
  EXPECT_FALSE(table_selected(&t, "aX%'b"));
  EXPECT_TRUE(table_selected(&t, "a_%'b"));
  sql = table_condition(&t);
  EXPECT_STREQ(" and (TABLE_NAME like 'a\\_\\%''b' escape '\\')", sql);
  free(sql);

  // entries that match no table are all reported
  TAB_INFO tabs[2] = {};
  std::strcpy(tabs[0].tab_name, "EMP");
  std::strcpy(tabs[1].tab_name, "DEPT");
  ASSERT_EQ(0, parse_tables(&t, "e%,x,\"emp\",D_PT"));
  EXPECT_EQ("Table \"X\" not found in f.dmp.\nTable \"emp\" not found in f.dmp.\n",
            Err([&] { return check_selection(&t, tabs, 2, "f.dmp"); }, &rc));
  EXPECT_EQ(-1, rc);
  ASSERT_EQ(0, parse_tables(&t, "%"));
  EXPECT_EQ("", Err([&] { return check_selection(&t, tabs, 2, "f.dmp"); }, &rc));
  EXPECT_EQ(0, rc);

  // without TABLES every table is selected and the query is unchanged
  free_tables(&t);
  EXPECT_TRUE(table_selected(&t, "ANY"));
  sql = table_condition(&t);
  EXPECT_STREQ("", sql);
  free(sql);
  EXPECT_EQ(0, check_selection(&t, tabs, 2, "f.dmp"));
}

TEST(TableList, Refusals) {
  const std::vector<std::string> bad = {"", "a,,b", "a,", "\"\"", "\"open", "\"T\"x",
                                        std::string(32, 'T')};
  for (const std::string& v : bad) {
    int rc;
    TABLE_LIST t = {};
    ASSERT_EQ(0, parse_tables(&t, "OLD"));  // a refused list leaves none behind
    std::string err = Err([&] { return parse_tables(&t, v.c_str()); }, &rc);
    EXPECT_EQ(-1, rc) << v;
    EXPECT_NE("", err) << v;
    EXPECT_EQ(nullptr, t.list);
    EXPECT_EQ(0, t.n);
  }
}

TEST(TakeValue, WholeOrRefused) {
  char dst[8];
  int rc;
  EXPECT_EQ("", Err([&] { return copy_whole(dst, sizeof dst, "1234567", "file"); }, &rc));
  EXPECT_EQ(0, rc);
  EXPECT_STREQ("1234567", dst);
  EXPECT_EQ("Argument \"file\" too long.\n",
            Err([&] { return copy_whole(dst, sizeof dst, "12345678", "file"); }, &rc));
  EXPECT_EQ(-1, rc);

  char name[32];
  int quoted;
  EXPECT_EQ(0, take_name("app", 3, name, &quoted));
  EXPECT_STREQ("APP", name);
  EXPECT_EQ(0, take_name("\"App\"", 5, name, &quoted));
  EXPECT_STREQ("App", name);
  EXPECT_EQ(1, quoted);
  EXPECT_EQ(-2, take_name("\"APP\"junk", 9, name, &quoted));
  EXPECT_EQ(-1, take_name("\"APP", 4, name, &quoted));
  std::string q31 = "\"" + std::string(31, 'a') + "\"", u32(32, 'a');
  EXPECT_EQ(0, take_name(q31.c_str(), q31.size(), name, &quoted));
  EXPECT_EQ(-1, take_name(u32.c_str(), u32.size(), name, &quoted));
}

TEST(HidePassword, OneStarWhateverTheLength) {
  struct Case {
    const char *arg, *shown;
  } cases[] = {
      {"app/secret@/data/shop.db", "app/*@/data/shop.db"},
      {"USERID=app/pw", "USERID=app/*"},
      {"userid=/p@d", "userid=/*@d"},
      {"app/@d", "app/@d"},                        // no password to hide
      {"app@/data/shop.db", "app@/data/shop.db"},  // the "/" of a path is no password
      {"app", "app"},
  };
  for (const Case& c : cases) {
    std::string a = c.arg;
    hide_password(a.data());
    EXPECT_STREQ(c.shown, a.c_str());
    // the bytes freed are cleared: nothing of the password is left behind
    EXPECT_EQ(std::string::npos, std::string(a.data(), a.size()).find("secret"));
  }
}

// The argument area as the kernel lays it out (strings one after the
// other), as /proc/PID/cmdline shows it after the blanking.
TEST(HidePassword, ArgvShowsNeitherPasswordNorItsLength) {
  auto blanked = [](const std::vector<std::string>& args) {
    std::string area;
    for (const std::string& a : args) area += a + '\0';
    std::vector<char*> argv;
    for (size_t at = 0; at < area.size(); at += std::strlen(&area[at]) + 1) argv.push_back(&area[at]);
    hide_argv_passwords(static_cast<int>(argv.size()), argv.data());
    std::string shown;
    for (char* a : argv) shown += std::string(a) + ' ';
    EXPECT_EQ(std::string::npos, area.find("tiger"));
    // what the process list shows: the program's name and blanks after it
    if (args[1].find('/') != std::string::npos && args[1].find('=') == std::string::npos) {
      EXPECT_EQ(std::string("tabimp\0", 7) + std::string(area.size() - 7, ' '), area);
    }
    return std::make_pair(shown, area.size());
  };
  auto short_pw = blanked({"tabimp", "scott/ti@db", "FILE=x", "USERID=u/tiger", "PARFILE=p"});
  auto long_pw = blanked({"tabimp", "scott/tigertigertiger@db", "FILE=x", "USERID=u/tigertiger", "PARFILE=p"});
  EXPECT_EQ("tabimp scott/*@db FILE=x USERID=u/* PARFILE=p ", short_pw.first);
  EXPECT_EQ(short_pw.first, long_pw.first);
  // a parameter file named first keeps its path
  EXPECT_EQ("tabimp PARFILE=/tmp/x/imp.par FILE=x ", blanked({"tabimp", "PARFILE=/tmp/x/imp.par", "FILE=x"}).first);
}

// Runs read_password with `input` on standard input (a pipe) and returns
// what it read; *rest gets what is left of the input afterwards.
int ReadFromPipe(const std::string& input, std::string* pw, std::string* rest, std::string* err) {
  int fds[2];
  EXPECT_EQ(0, pipe(fds));
  EXPECT_EQ(static_cast<ssize_t>(input.size()), write(fds[1], input.data(), input.size()));
  close(fds[1]);
  int saved = dup(0);
  dup2(fds[0], 0);
  close(fds[0]);
  char buf[32];
  ::testing::internal::CaptureStderr();
  int rc = read_password(buf, sizeof buf);
  *err = ::testing::internal::GetCapturedStderr();
  *pw = rc == 0 ? buf : "";
  rest->clear();
  char c;
  while (read(0, &c, 1) == 1) *rest += c;
  dup2(saved, 0);
  close(saved);
  return rc;
}

TEST(ReadPassword, OneLineOfAPipe) {
  std::string pw, rest, err;
  EXPECT_EQ(0, ReadFromPipe("secret\nselect 1 from dual;\n", &pw, &rest, &err));
  EXPECT_EQ("secret", pw);
  EXPECT_EQ("select 1 from dual;\n", rest);  // nothing after the line is taken
  EXPECT_EQ("", err);                         // no prompt when not on a terminal
  EXPECT_EQ(0, ReadFromPipe("dos\r\n", &pw, &rest, &err));
  EXPECT_EQ("dos", pw);
  EXPECT_EQ(0, ReadFromPipe("last", &pw, &rest, &err));
  EXPECT_EQ("last", pw);
  EXPECT_EQ(0, ReadFromPipe("\n", &pw, &rest, &err));
  EXPECT_EQ("", pw);
  EXPECT_EQ(-1, ReadFromPipe("", &pw, &rest, &err));
  EXPECT_EQ("Password not given: the input ended.\n", err);
  EXPECT_EQ(-1, ReadFromPipe(std::string(32, 'p') + "\nnext\n", &pw, &rest, &err));
  EXPECT_EQ("Argument \"password\" too long.\n", err);
  EXPECT_EQ("next\n", rest);
  EXPECT_EQ(0, ReadFromPipe(std::string(31, 'p') + "\n", &pw, &rest, &err));
  EXPECT_EQ(std::string(31, 'p'), pw);
}

// The list read_parfiles makes, as "arg" or "file:arg" per entry.
std::vector<std::string> Expand(std::vector<std::string> args, int* rc, std::string* err) {
  args.insert(args.begin(), "prog");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  ARG_LIST l;
  ::testing::internal::CaptureStderr();
  *rc = read_parfiles(static_cast<int>(argv.size()), argv.data(), &l);
  *err = ::testing::internal::GetCapturedStderr();
  std::vector<std::string> out;
  for (int i = 1; i < l.argc; i++) out.push_back(std::string(l.from_file[i] ? "file:" : "") + l.argv[i]);
  free_arg_list(&l);
  return out;
}

TEST(ParameterFiles, LinesTakeThePlaceOfTheArgument) {
  TempDir dir;
  std::string f = dir.file("exp.par"), g = dir.file("more.par");
  WriteFile(f, "# export of APP\n\n  FILE=app.dmp  \r\nOWNER=\"App\"\n\t# indented comment\nLOG=a b.log");
  WriteFile(g, "TABLES=emp\n");
  int rc;
  std::string err;
  std::vector<std::string> want = {"u/p", "FILE=x", "file:FILE=app.dmp", "file:OWNER=\"App\"",
                                   "file:LOG=a b.log", "LOG=y", "file:TABLES=emp"};
  EXPECT_EQ(want, Expand({"u/p", "FILE=x", "PARFILE=" + f, "LOG=y", "parfile=" + g}, &rc, &err));
  EXPECT_EQ(0, rc);
  EXPECT_EQ("", err);

  struct Bad {
    std::string content, message;
  } bad[] = {
      {"FILE=x\nPARFILE=" + g + "\n", "line 2: a parameter file cannot name another."},
      {"FILE=" + std::string(PARFILE_LINE_MAX, 'x') + "\n", "line 1 is longer than 4096 bytes."},
      {std::string("FILE=a\0b\n", 9), "line 1 holds a NUL byte."},
  };
  for (const Bad& b : bad) {
    WriteFile(f, b.content);
    EXPECT_TRUE(Expand({"u/p", "PARFILE=" + f}, &rc, &err).empty());
    EXPECT_EQ(-1, rc);
    EXPECT_NE(std::string::npos, err.find(b.message)) << err;
  }
  Expand({"u/p", "PARFILE=" + dir.file("missing.par")}, &rc, &err);
  EXPECT_EQ(-1, rc);
  EXPECT_EQ("Open PARFILE " + dir.file("missing.par") + ": No such file or directory\n", err);
  Expand({"u/p", "PARFILE=" + dir.path()}, &rc, &err);  // a folder cannot be read
  EXPECT_EQ(-1, rc);
  EXPECT_NE("", err);
}

// A parameter file that holds a password and that other users may read
// draws a warning; one only its owner reads, or one without a password,
// none.
TEST(ParameterFiles, ReadableByOthersWithAPassword) {
  TempDir dir;
  std::string f = dir.file("imp.par");
  struct Case {
    std::string content;
    mode_t mode;
    bool warned;
  } cases[] = {
      {"USERID=app/secret\nFILE=x\n", 0644, true},
      {"USERID=app/secret\nFILE=x\n", 0640, true},
      {"USERID=app/secret\nFILE=x\n", 0600, false},
      {"USERID=app\nFILE=x\n", 0644, false},
      {"FILE=x\n", 0666, false},
  };
  for (const Case& c : cases) {
    WriteFile(f, c.content);
    ASSERT_EQ(0, chmod(f.c_str(), c.mode));
    int rc;
    std::string err;
    Expand({"u", "PARFILE=" + f}, &rc, &err);
    EXPECT_EQ(0, rc);
    EXPECT_EQ(c.warned, err.find("holds a password and other users may read it") != std::string::npos)
        << c.content << " " << err;
    EXPECT_EQ(std::string::npos, err.find("secret"));
  }
}

TEST(Feedback, DotsPerRowsPassed) {
  int rc;
  FEEDBACK fb = {};
  EXPECT_EQ("", Err([&] { return parse_feedback(&fb, "10"); }, &rc));
  EXPECT_EQ(0, rc);
  char* buf = nullptr;
  size_t len = 0;
  FILE* fp = open_memstream(&buf, &len);
  feedback_rows(&fb, fp, 0, 9);    // nothing yet
  feedback_rows(&fb, fp, 9, 10);   // 10
  feedback_rows(&fb, fp, 10, 35);  // 20, 30
  feedback_end(&fb, fp);
  feedback_end(&fb, fp);           // a second end adds nothing
  feedback_rows(&fb, fp, 0, 5);
  feedback_end(&fb, fp);           // no dots: no line end
  fclose(fp);
  EXPECT_EQ("...\n", std::string(buf, len));
  free(buf);
  EXPECT_EQ(0, parse_feedback(&fb, "0"));
  EXPECT_EQ(0, fb.interval);
  for (const char* bad : {"", "-1", "+5", "1x", " 1", "2147483648", "99999999999999999999999"}) {
    std::string err = Err([&] { return parse_feedback(&fb, bad); }, &rc);
    EXPECT_EQ(-1, rc) << bad;
  }
}

}  // namespace
