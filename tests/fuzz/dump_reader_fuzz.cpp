// dump_reader_fuzz.cpp - libFuzzer target of the shared dump reader: every
// input is written to a file, walked whole by the reader as tabdump --verify
// walks it (every statement through the allowed-kinds check), each section
// also read row by row as the importer reads it, then imported by tabimp
// over the OCI test double.
//
// The walk must end with 0 or a recorded fault; the import with status 0
// or -1, with every handle and LOB locator released, whatever the bytes are.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dump_reader.h"
#include "fakeoci.h"
#include "stmt_allow.h"

extern "C" int tabimp_main(int argc, char** argv);

namespace {

std::string g_dir, g_path;

void RemoveInput() {
  unlink(g_path.c_str());
  rmdir(g_dir.c_str());
}

void WriteInput(const uint8_t* data, size_t size) {
  int fd = open(g_path.c_str(), O_WRONLY | O_TRUNC | O_CREAT, 0600);
  if (fd < 0) abort();
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) abort();
    done += static_cast<size_t>(n);
  }
  close(fd);
}

// Hands a text to the allowed-kinds check as the importer would.
int CheckText(void* ctx, const char* text, uint32_t len) {
  char why[120];
  STMT_SCOPE scope = {*static_cast<int*>(ctx), "EMP", "APP", nullptr, nullptr, nullptr};
  (void)stmt_refusal(&scope, text, len, why, sizeof why);
  return 0;
}

int CheckCreate(void* ctx, const char* text, uint32_t len) {
  (void)ctx;
  int where = STMT_AT_CREATE;
  return CheckText(&where, text, len);
}

// The statement a checked GRANT or COMMENT record stands for is always one
// the importer allows: anything else means the reader let a bad field by.
int CheckRecord(void* ctx, const DUMP_OBJ_RECORD* rec) {
  (void)ctx;
  uint32_t len = 0, at = 0;
  char* sql = dump_record_sql(rec, &len, &at);
  if (!sql) return 0;
  char why[120];
  STMT_SCOPE scope = {STMT_AT_DEFERRED, nullptr, "APP", nullptr, nullptr, nullptr};
  if (stmt_refusal(&scope, sql, len, why, sizeof why) != nullptr || sql[at] != '"') abort();
  free(sql);
  return 0;
}

// The importer's pass over table i, every stream read: it must agree with
// the walk on a section the walk accepted, and end in a fault, never a
// crash, on any other.
void Iterate(DUMP_READER* r, uint32_t i, const DUMP_SECTION* walked) {
  static DUMP_VALUE vals[DUMP_MAX_COLUMNS];
  DUMP_ROWS rs;
  DUMP_FRONT front;
  DUMP_PIECE pc;
  int rc = dump_rows_begin(r, i, &rs, &front);
  while (rc >= 0 && (rc = dump_row_next(&rs, vals)) > 0) {
    for (uint32_t j = 0; j < rs.ncol; j++)
      if (vals[j].kind == DUMP_VAL_VALUE && vals[j].len > rs.vsz[j]) abort();
    int b = 0, bad = 0;
    while (!bad && ((b = dump_stream_begin(&rs)) > 0 || (b == 0 && (rs.long_left || rs.lobs_left)))) {
      int n = 0;
      if (b > 0)
        while ((n = dump_stream_next(&rs, &pc)) > 0)
          if (pc.len == 0 || pc.len > DUMP_PIECE_SIZE) abort();
      if (n < 0) bad = 1;
    }
    if (bad || b < 0) {
      rc = -1;
      break;
    }
  }
  if (rc == 0) rc = dump_rows_statements(&rs, nullptr, nullptr);
  if (walked && (rc != 0 || rs.rows != walked->rows || rs.stream_bytes != walked->stream_bytes)) abort();
}

void Walk() {
  int fd = open(g_path.c_str(), O_RDONLY);
  if (fd < 0) abort();
  DUMP_READER r;
  int where = STMT_AT_SECTION;
  DUMP_VISIT visit = {CheckCreate, nullptr, CheckText, CheckRecord};
  if (dump_open(&r, fd) == 0 && dump_check_directory(&r) == 0) {
    for (uint32_t i = 0; i < dump_table_count(&r); i++) {
      DUMP_SECTION s;
      if (dump_walk_section(&r, i, &visit, &where, &s) != 0) {
        Iterate(&r, i, nullptr);
        break;
      }
      if (r.has_ext && s.length == 0) abort();  // a sound section is never empty
      Iterate(&r, i, &s);
    }
    where = STMT_AT_DEFERRED;
    (void)dump_walk_deferred(&r, &visit, &where);
    DUMP_VISIT lines = {nullptr, nullptr, [](void*, const char*, uint32_t) { return 0; }, nullptr};
    (void)dump_walk_warnings(&r, &lines, nullptr);
  }
  if (r.fault.code == DUMP_E_IO) abort();  // the bytes are all there
  dump_close(&r);
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  char dir[] = "/tmp/dump_reader_fuzz.XXXXXX";
  if (!mkdtemp(dir)) abort();
  g_dir = dir;
  g_path = g_dir + "/input.dmp";
  atexit(RemoveInput);
  // tabimp's banner, messages and progress lines go nowhere: libFuzzer
  // closes standard output and error for the target and keeps its own
  // reports (and the sanitizers') on a copy of standard error.
  static std::vector<char*> args(*argv, *argv + *argc);
  static char quiet[] = "-close_fd_mask=3";
  args.insert(args.begin() + 1, quiet);
  args.push_back(nullptr);
  *argv = args.data();
  *argc = static_cast<int>(args.size()) - 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteInput(data, size);
  Walk();
  fakeoci::Reset();
  std::string file = "FILE=" + g_path;
  char prog[] = "tabimp";
  char userid[] = "app/app@fuzz";
  char ignore[] = "IGNORE=Y";
  char* argv[] = {prog, userid, file.data(), ignore, nullptr};
  int rc = tabimp_main(4, argv);
  // 0 carried, 1 carried with warnings, -1 (255) failed
  if (rc != 0 && rc != 1 && rc != -1) abort();
  if (fakeoci::state().live_objects != 0) abort();  // a handle or locator leaked
  if (fakeoci::state().text_changed) abort();       // a prepared text was overwritten
  return 0;
}
