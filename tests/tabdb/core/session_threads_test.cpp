// session_threads_test.cpp - sessions of one database file used from
// several threads at once, one thread per session: logons, queries,
// dictionary reads and inserts in parallel, with environments of their own
// or one OCI_THREADED environment shared by all; and writers of different
// tables waiting for each other's commit instead of failing.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class SessionThreadsTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    Must(app_, "CREATE TABLE shared_t (a NUMBER, b VARCHAR2(20))");
    Must(app_, "INSERT INTO shared_t VALUES (1, 'one')");
    ASSERT_EQ(app_.Commit(), OCI_SUCCESS);
  }

  // The work of one thread: its own table, rows inserted and committed in
  // small transactions, the shared table and the dictionary read between
  // them. Returns the failures seen ("" when none).
  std::string Work(Conn& c, int n) {
    std::string failures;
    auto run = [&](const std::string& sql) {
      if (Exec(c, sql) != 0) failures += sql + ": " + c.ErrorText();
    };
    std::string t = "t" + std::to_string(n);
    run("CREATE TABLE " + t + " (id NUMBER PRIMARY KEY, txt VARCHAR2(40), d DATE)");
    for (int i = 0; i < 60; ++i) {
      run("INSERT INTO " + t + " VALUES (" + std::to_string(i) + ", 'row " + std::to_string(i) +
          "', SYSDATE)");
      if (i % 10 == 9 && c.Commit() != OCI_SUCCESS) failures += "commit: " + c.ErrorText();
      if (i % 15 == 0) {
        if (One(c, "SELECT b FROM shared_t WHERE a = 1") != "one") failures += "shared row\n";
        if (One(c, "SELECT COUNT(*) FROM user_tables WHERE table_name = '" + Upper(t) + "'") != "1")
          failures += "dictionary\n";
        if (One(c, "SELECT DBMS_FLASHBACK.GET_SYSTEM_CHANGE_NUMBER FROM DUAL").empty())
          failures += "scn\n";
      }
    }
    if (One(c, "SELECT COUNT(*) || '/' || SUM(id) FROM " + t) != "60/1770") failures += "sum\n";
    return failures;
  }

  static std::string Upper(std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
  }
};

// Four threads, each with an environment of its own (OCI_DEFAULT).
TEST_F(SessionThreadsTest, OwnEnvironments) {
  std::vector<std::string> failures(4);
  std::vector<std::thread> threads;
  for (int n = 0; n < 4; ++n) {
    threads.emplace_back([&, n] {
      Conn c;
      if (c.Open(path_, "app", "app") != OCI_SUCCESS) {
        failures[n] = "logon: " + c.ErrorText();
        return;
      }
      failures[n] = Work(c, n);
    });
  }
  for (std::thread& t : threads) t.join();
  for (int n = 0; n < 4; ++n) EXPECT_EQ(failures[n], "") << "thread " << n;
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_tables WHERE table_name LIKE 'T_'"), "4");
}

// Four threads with sessions of one OCI_THREADED environment, whose client
// character set converts (WE8ISO8859P1), so that conversions of several
// threads meet in the environment's converters.
TEST_F(SessionThreadsTest, SharedThreadedEnvironment) {
  setenv("NLS_LANG", "AMERICAN_AMERICA.WE8ISO8859P1", 1);
  OCIEnv* env = nullptr;
  ASSERT_EQ(OCIEnvCreate(&env, OCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0, nullptr), OCI_SUCCESS);
  setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
  std::vector<std::string> failures(4);
  std::vector<std::thread> threads;
  for (int n = 0; n < 4; ++n) {
    threads.emplace_back([&, n] {
      Conn c;
      c.env = env;
      if (c.Begin(path_, "app", "app") == OCI_SUCCESS) {
        failures[n] = Work(c, 10 + n);
        // Text in the client set: "caf\xe9" is ISO-8859-1.
        Must(c, "INSERT INTO t" + std::to_string(10 + n) + " VALUES (100, 'caf\xe9', NULL)");
        if (One(c, "SELECT LENGTH(txt) || DUMP(txt) FROM t" + std::to_string(10 + n) + " WHERE id = 100") !=
            "4Typ=1 Len=5: 99,97,102,195,169")
          failures[n] += "conversion\n";
        EXPECT_EQ(c.Commit(), OCI_SUCCESS);
      } else {
        failures[n] = "logon: " + c.ErrorText();
      }
      c.env = nullptr;  // shared: freed once, below
      c.Close();
    });
  }
  for (std::thread& t : threads) t.join();
  OCIHandleFree(env, OCI_HTYPE_ENV);
  for (int n = 0; n < 4; ++n) EXPECT_EQ(failures[n], "") << "thread " << n;
}

// Two sessions inserting arrays of rows into two tables at once, each in
// one transaction committed at the end of its table: the second writer
// waits for the first's commit (the file has one write lock) and both
// complete.
TEST_F(SessionThreadsTest, WritersOfTwoTablesWaitForEachOther) {
  Must(app_, "CREATE TABLE w1 (id NUMBER, txt VARCHAR2(30))");
  Must(app_, "CREATE TABLE w2 (id NUMBER, txt VARCHAR2(30))");
  constexpr int kRows = 2000, kBatch = 200;
  std::vector<std::string> failures(2);
  std::atomic<int> ready{0};
  auto writer = [&](int n) {
    Conn c;
    if (c.Open(path_, "app", "app") != OCI_SUCCESS) {
      failures[n] = "logon: " + c.ErrorText();
      return;
    }
    Stmt s(c);
    s.Prepare("INSERT INTO w" + std::to_string(n + 1) + " VALUES (:1, :2)");
    std::vector<int> ids(kBatch);
    std::vector<char> txt(kBatch * 30);
    s.Bind(1, ids.data(), sizeof(int), SQLT_INT);
    s.Bind(2, txt.data(), 30, SQLT_STR);
    ++ready;
    while (ready.load() < 2) std::this_thread::yield();
    for (int first = 0; first < kRows; first += kBatch) {
      for (int i = 0; i < kBatch; ++i) {
        ids[i] = first + i;
        std::snprintf(&txt[i * 30], 30, "row %d of %d", first + i, n);
      }
      if (s.Execute(kBatch) != OCI_SUCCESS) {
        failures[n] += "insert: " + c.ErrorText();
        return;
      }
    }
    if (c.Commit() != OCI_SUCCESS) failures[n] += "commit: " + c.ErrorText();
  };
  std::thread a(writer, 0), b(writer, 1);
  a.join();
  b.join();
  EXPECT_EQ(failures[0], "");
  EXPECT_EQ(failures[1], "");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM w1"), std::to_string(kRows));
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM w2 WHERE txt LIKE 'row % of 1'"), std::to_string(kRows));
}

}  // namespace
}  // namespace ocitest
