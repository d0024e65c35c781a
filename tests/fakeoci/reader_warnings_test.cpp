// reader_warnings_test.cpp - the dump reader on files of format 2, which
// end their trailer with the export's warnings: the lists are read apart,
// format 1 files stay as they were, and every way the two can disagree is
// a damaged file.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dump_builder.h"
#include "dump_reader.h"

namespace {

using namespace dumpbuild;

int Collect(void* ctx, const char* text, uint32_t len) {
  static_cast<std::vector<std::string>*>(ctx)->emplace_back(text, len);
  return 0;
}

struct Lists {
  int open_rc = -1;
  std::string fault;
  std::vector<std::string> deferred, warnings;
};

Lists ReadLists(const std::string& bytes) {
  char path[] = "/tmp/reader_warnings.XXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  std::ofstream(path, std::ios::binary) << bytes;
  Lists out;
  DUMP_READER r;
  DUMP_VISIT v = {nullptr, nullptr, Collect, nullptr};
  out.open_rc = dump_open(&r, fd);
  if (out.open_rc == 0) out.open_rc = dump_check_directory(&r);
  if (out.open_rc == 0 && (dump_walk_deferred(&r, &v, &out.deferred) != 0 ||
                           dump_walk_warnings(&r, &v, &out.warnings) != 0))
    out.open_rc = -1;
  if (out.open_rc != 0) out.fault = r.fault.reason;
  dump_close(&r);
  close(fd);
  unlink(path);
  return out;
}

Dump WithTable() {
  Dump d;
  d.extension = true;
  Table t("T", {{2, 22, "ID"}});
  t.Row({Val(std::string("\xC1\x02", 2))});
  d.tables.push_back(t);
  d.deferred = {"CREATE SEQUENCE \"S\""};
  return d;
}

TEST(ReaderWarnings, FormatTwoKeepsItsListsApart) {
  Dump d = WithTable();
  d.version = 2;
  d.warning_list = true;
  d.warnings = {"Warning: table \"P\" not exported: partitioned tables are not carried.",
                "Warning: index \"X\" not exported: indexes of type DOMAIN are not carried."};
  Lists l = ReadLists(d.Build());
  ASSERT_EQ(0, l.open_rc) << l.fault;
  EXPECT_EQ(d.deferred, l.deferred);
  EXPECT_EQ(d.warnings, l.warnings);

  // an empty warning list is a sound format 2 file too
  d.warnings.clear();
  l = ReadLists(d.Build());
  ASSERT_EQ(0, l.open_rc) << l.fault;
  EXPECT_TRUE(l.warnings.empty());

  // format 1 has no warnings to walk
  d = WithTable();
  l = ReadLists(d.Build());
  ASSERT_EQ(0, l.open_rc) << l.fault;
  EXPECT_EQ(d.deferred, l.deferred);
  EXPECT_TRUE(l.warnings.empty());
}

TEST(ReaderWarnings, ListsThatDisagreeWithTheVersionAreDamage) {
  struct Case {
    uint32_t version;
    bool warning_list;
    std::string fault;
  } cases[] = {
      // a warning list in a format 1 file: bytes no reader of format 1 takes
      {1, true, "bytes after the trailer"},
      // format 2 without its list: the trailer ends inside it
      {2, false, "file ends inside the statement list"},
      {4, true, "format version 4 not known"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    Dump d = WithTable();
    d.version = c.version;
    d.warning_list = c.warning_list;
    d.warnings = {"Warning: x"};
    Lists l = ReadLists(d.Build());
    EXPECT_NE(0, l.open_rc);
    EXPECT_EQ(c.fault, l.fault);
  }
}

}  // namespace
