// fs_fault_test.cpp - file-system faults on the dump file, injected at the
// system-call boundary by the faultfs library (and a real full file system):
// every failure ends the run with its message and status 255, no damaged
// dump is ever imported as if it were whole, and interrupted or partial
// transfers change nothing in what is written or read.
#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "rel_fixture.h"

namespace reltest {
namespace {

using testsupport::ProcResult;
using testsupport::ReadFile;

// A schema whose dump spans several fillings of the export's write cache
// and of the import's read window: a 3 MB table between two small ones,
// LONG and LOB streams, an empty table, indexes and primary keys.
class DumpFaults : public RelTest {
 protected:
  void SetUp() override {
    RelTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(Sys("CREATE TABLE app.a_small (id NUMBER PRIMARY KEY, name VARCHAR2(20));\n"
                                "INSERT INTO app.a_small VALUES (1, 'one');\n"
                                "INSERT INTO app.a_small VALUES (2, 'two');\n"
                                "CREATE INDEX app.a_small_name ON app.a_small (name);\n"));
    ASSERT_NO_FATAL_FAILURE(BigTable("app", "b_big", 10000, 300));
    ASSERT_NO_FATAL_FAILURE(StreamTable("app"));
    dump_ = dir_.file("good.dmp");
    std::string log = dir_.file("good.io");
    ProcResult r = Export("APP", dump_, FaultEnv({"FAULTFS_FILE=" + dump_, "FAULTFS_LOG=" + log}));
    ASSERT_EQ(0, r.status) << r.err;
    good_ = ReadFile(dump_);
    std::string why;
    ASSERT_TRUE(ParseDump(good_, &parsed_, &why)) << why;
    for (const IoCall& c : ReadIoLog(log))
      if (c.op == "write" || c.op == "pwrite") writes_.push_back(c);
  }

  const DumpTable& Table(const std::string& name) {
    for (const DumpTable& t : parsed_.tables)
      if (t.name == name) return t;
    ADD_FAILURE() << "no table " << name;
    return parsed_.tables.at(0);
  }

  // A dump left by a failed export does not hold together: its directory
  // was never written.
  void ExpectUnusable(const std::string& file, const std::string& context) {
    std::string why;
    DumpFile d;
    EXPECT_FALSE(ParseDump(ReadFile(file), &d, &why)) << context << ": the dump looks whole";
  }

  // Nor does the import take it: it fails with 255 before it loads anything.
  void ExpectRefusedByImport(const std::string& file, const std::string& context) {
    ExpectUnusable(file, context);
    ProcResult r = Import(file, "APP_COPY");
    EXPECT_EQ(255, r.status) << context << "\n" << r.err;
    EXPECT_FALSE(Contains(r.err, kImpDone)) << context;
  }

  std::string dump_, good_;
  DumpFile parsed_;
  std::vector<IoCall> writes_;
};

TEST_F(DumpFaults, TheUndisturbedDumpIsWrittenInPiecesThroughTheHeaderAndDirectory) {
  ASSERT_EQ(4u, parsed_.tables.size());
  ASSERT_GE(writes_.size(), 6u);
  EXPECT_EQ(0, writes_.front().offset);  // the header block and directory area
  EXPECT_EQ(1024 + 512, writes_.front().count);
  EXPECT_EQ("pwrite", writes_.back().op);  // the directory, last of all
  EXPECT_EQ(1024, writes_.back().offset);
  EXPECT_EQ(static_cast<int64_t>(56 * parsed_.tables.size()), writes_.back().count);
  // the big table spans more than one read window of the import
  EXPECT_GT(Table("B_BIG").end - Table("B_BIG").offset, 2097152u + 500000u);
}

// Each write of the undisturbed run fails in turn, with ENOSPC and EIO by
// turns: the export names the file and the reason and ends with 255, and
// what it leaves behind is refused by the import.
TEST_F(DumpFaults, EveryFailingWriteEndsTheExportWithItsMessage) {
  for (size_t k = 1; k <= writes_.size(); k++) {
    bool nospace = k % 2 == 1;
    std::string file = dir_.file("cut" + std::to_string(k) + ".dmp");
    ProcResult r = Export("APP", file,
                          FaultEnv({"FAULTFS_FILE=" + file, "FAULTFS_WRITE_AT_CALL=" + std::to_string(k),
                                    std::string("FAULTFS_WRITE_ERRNO=") + (nospace ? "ENOSPC" : "EIO")}));
    std::string context = "write call " + std::to_string(k) + " of " + std::to_string(writes_.size());
    EXPECT_EQ(255, r.status) << context << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, "Write " + file + ": " + std::strerror(nospace ? ENOSPC : EIO) + "\n"))
        << context << "\n" << r.err;
    EXPECT_FALSE(Contains(r.err, kExpDone)) << context;
    if (k == 1) {
      EXPECT_TRUE(Contains(r.err, "Write dump file head error.\n")) << r.err;
    }
    if (k == writes_.size()) {
      EXPECT_TRUE(Contains(r.err, "Write table information to file error.\n")) << r.err;
    }
    // the import's refusal, for the first, a middle and the last write
    if (k == 1 || k == writes_.size() / 2 || k == writes_.size()) {
      ExpectRefusedByImport(file, context);
    } else {
      ExpectUnusable(file, context);
    }
  }
}

// The disk fills up at a byte offset: the bytes before it land (a partial
// write), the next write fails.
TEST_F(DumpFaults, AFileSystemThatFillsUpAtAnOffsetEndsTheExport) {
  const DumpTable& big = Table("B_BIG");
  const DumpTable& docs = Table("DOCS");
  struct Case {
    const char* where;
    uint64_t offset;
  } cases[] = {
      {"inside the header block", 100},
      {"inside the directory area", 1024 + 20},
      {"at the start of a table section", big.offset},
      {"in the middle of a table's rows", (big.rows_begin + big.end) / 2},
      {"inside a LOB stream", docs.rows_begin + 30000},
      {"at the last byte of the data", parsed_.tables.back().end - 1},
  };
  for (const Case& c : cases) {
    std::string file = dir_.file("full.dmp");
    unlink(file.c_str());
    ProcResult r = Export("APP", file,
                          FaultEnv({"FAULTFS_FILE=" + file, "FAULTFS_WRITE_AT_OFFSET=" + std::to_string(c.offset),
                                    "FAULTFS_WRITE_ERRNO=ENOSPC"}));
    EXPECT_EQ(255, r.status) << c.where << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, "Write " + file + ": No space left on device\n")) << c.where << "\n" << r.err;
    EXPECT_FALSE(Contains(r.err, kExpDone)) << c.where;
    // The dump was written under a temporary name, removed with the
    // failure: neither it nor a FILE is left.
    struct stat st;
    EXPECT_NE(0, stat(file.c_str(), &st)) << c.where;
    DIR* d = opendir(dir_.path().c_str());
    ASSERT_NE(nullptr, d);
    while (dirent* e = readdir(d)) EXPECT_NE(0, strncmp(e->d_name, ".full.dmp.tmp-", 14)) << c.where;
    closedir(d);
  }
}

// Write errors that the system reports only when the file is synced or
// closed still fail the export: it never says it succeeded before the dump
// is on the disk.
TEST_F(DumpFaults, LateWriteErrorsFailTheExport) {
  struct Case {
    const char* setting;
    int err;
  } cases[] = {{"FAULTFS_FSYNC_ERRNO=EIO", EIO}, {"FAULTFS_CLOSE_ERRNO=EDQUOT", EDQUOT}};
  for (const Case& c : cases) {
    std::string file = dir_.file("late.dmp");
    ProcResult r = Export("APP", file, FaultEnv({"FAULTFS_FILE=" + file, c.setting}));
    EXPECT_EQ(255, r.status) << c.setting << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, "Write " + file + ": " + std::strerror(c.err) + "\n")) << c.setting << "\n" << r.err;
    EXPECT_FALSE(Contains(r.err, kExpDone)) << c.setting;
  }
  // a dump that cannot be synced because it is no file still works
  ProcResult r = Export("APP", "/dev/null");
  EXPECT_EQ(0, r.status) << r.err;
}

// Writes interrupted by a signal before any byte moved, and writes that
// move only part of their bytes, are carried on: the dump is the same
// byte for byte as the undisturbed one.
TEST_F(DumpFaults, InterruptedAndPartialWritesMakeTheSameDump) {
  const std::vector<std::vector<std::string>> cases = {
      {"FAULTFS_EINTR=1"},
      {"FAULTFS_SHORT=1000"},
      {"FAULTFS_EINTR=1", "FAULTFS_SHORT=4093"},
  };
  for (const auto& settings : cases) {
    std::string file = dir_.file("again.dmp");
    std::vector<std::string> env = {"FAULTFS_FILE=" + file};
    env.insert(env.end(), settings.begin(), settings.end());
    ProcResult r = Export("APP", file, FaultEnv(env));
    ASSERT_EQ(0, r.status) << settings[0] << "\n" << r.err;
    EXPECT_TRUE(ReadFile(file) == good_) << settings[0] << ": dump differs";
  }
}

// The same for the import's reads: the rows that arrive are the rows of an
// undisturbed import.
TEST_F(DumpFaults, InterruptedAndPartialReadsImportTheSameRows) {
  AddUser("plain_copy");
  AddUser("slow_copy");
  ProcResult r = Import(dump_, "PLAIN_COPY");
  ASSERT_EQ(0, r.status) << r.err;
  r = Import(dump_, "SLOW_COPY",
             FaultEnv({"FAULTFS_FILE=" + dump_, "FAULTFS_EINTR=1", "FAULTFS_SHORT=777"}));
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, kImpDone));
  // both copies export to the same table sections, byte for byte
  std::string a = dir_.file("plain.dmp"), b = dir_.file("slow.dmp");
  ASSERT_EQ(0, Export("PLAIN_COPY", a).status);
  ASSERT_EQ(0, Export("SLOW_COPY", b).status);
  std::string da = ReadFile(a), db = ReadFile(b);
  EXPECT_GT(da.size(), 3000000u);
  EXPECT_TRUE(da.compare(1024, std::string::npos, db, 1024, std::string::npos) == 0) << "the rows differ";
}

// Failing and short reads of the dump: the import ends with its message
// and 255. The tables before the failing one are whole, the failing one
// holds no row (it may exist: its CREATE TABLE has been committed), and
// nothing after it is created. The failing table is at the latest the one
// that holds the damaged bytes; the import reads ahead, so a read error
// may also stop it in an earlier table.
TEST_F(DumpFaults, FailingReadsEndTheImportWithoutPartialTables) {
  const DumpTable& big = Table("B_BIG");
  const DumpTable& docs = Table("DOCS");
  const std::string read_error = "Read " + dump_ + ": Input/output error\n";
  const std::string not_completed = "Read " + dump_ + " not completed.\n";
  struct Case {
    const char* where;
    std::string setting;
    std::string message;
    std::string damaged_table;  // empty: fails before the first table
  } cases[] = {
      {"header unreadable", "FAULTFS_READ_AT_OFFSET=0", read_error, ""},
      {"file ends inside the header", "FAULTFS_READ_EOF_AT=100", not_completed, ""},
      {"directory unreadable", "FAULTFS_READ_AT_OFFSET=1100", read_error, ""},
      {"file ends inside the directory", "FAULTFS_READ_EOF_AT=1100", not_completed, ""},
      {"first read of a table fails", "FAULTFS_READ_AT_CALL=3", read_error, parsed_.tables[0].name},
      {"rows unreadable", "FAULTFS_READ_AT_OFFSET=" + std::to_string((big.rows_begin + big.end) / 2),
       read_error, "B_BIG"},
      {"file ends inside the rows", "FAULTFS_READ_EOF_AT=" + std::to_string(big.offset + 2500000),
       not_completed, "B_BIG"},
      {"file ends inside a LOB stream", "FAULTFS_READ_EOF_AT=" + std::to_string(docs.rows_begin + 50000),
       not_completed, "DOCS"},
      {"stream unreadable", "FAULTFS_READ_AT_OFFSET=" + std::to_string(docs.rows_begin + 50000),
       read_error, "DOCS"},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string target = "T" + std::to_string(++n);
    AddUser(target);
    ProcResult r = Import(dump_, target, FaultEnv({"FAULTFS_FILE=" + dump_, c.setting}));
    EXPECT_EQ(255, r.status) << c.where << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, c.message)) << c.where << "\n" << r.err;
    EXPECT_FALSE(Contains(r.err, kImpDone)) << c.where;
    // whole tables, then at most one empty table, then nothing
    enum { kWhole, kFailed, kAbsent } state = c.damaged_table.empty() ? kAbsent : kWhole;
    for (const DumpTable& t : parsed_.tables) {
      std::string error;
      long rows = Count(target + ".\"" + t.name + "\"", &error);
      if (state == kWhole && rows != static_cast<long>(t.nrows)) state = kFailed;
      if (state == kWhole) {
        EXPECT_NE(t.name, c.damaged_table) << c.where << ": the damaged table came in whole";
        continue;
      }
      if (state == kFailed) {
        EXPECT_TRUE(rows == 0 || Contains(error, "ORA-00942"))
            << c.where << ": " << rows << " rows of " << t.name << " " << error;
        state = kAbsent;
        continue;
      }
      EXPECT_TRUE(Contains(error, "ORA-00942")) << c.where << ": " << t.name << " was created";
    }
  }
}

// A real file system that is too small: the export fails with the
// system's own ENOSPC. Mounting needs root; elsewhere the test is skipped.
TEST_F(DumpFaults, ExportIntoAFullFileSystemFailsCleanly) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  std::string mnt = dir_.file("small");
  ASSERT_EQ(0, mkdir(mnt.c_str(), 0700));
  if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=2m") != 0)
    GTEST_SKIP() << "no tmpfs mount here: " << std::strerror(errno);
  std::string file = mnt + "/x.dmp";
  ProcResult r = Export("APP", file);
  std::string left = ReadFile(file);
  umount2(mnt.c_str(), MNT_DETACH);
  EXPECT_EQ(255, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, "Write " + file + ": No space left on device\n")) << r.err;
  EXPECT_FALSE(Contains(r.err, kExpDone));
  EXPECT_LE(left.size(), 2u * 1024 * 1024);
  std::string copy = dir_.file("left.dmp");
  testsupport::WriteFile(copy, left);
  ExpectRefusedByImport(copy, "full file system");
}

}  // namespace
}  // namespace reltest
