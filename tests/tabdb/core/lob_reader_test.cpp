// lob_reader_test.cpp - reading stored LOB and LONG values through the
// LobReader, which keeps its place in the chunk store between pieces:
// every start offset and piece size gives the stored bytes, a damaged
// store fails instead of looping, and character offsets are counted across
// chunk ends that split characters.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "charset/charset.h"
#include "storage/database.h"
#include "storage/lob_store.h"
#include "support.h"

namespace {

using tabdb::Database;
using tabdb::kLobChunk;
using tabdb::LobReader;
using tabdb::LobStore;

class LobReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string path = dir_.file("reader.db");
    ASSERT_TRUE(Database::Create(path, "manager").ok());
    ASSERT_TRUE(Database::Open(path, &db_).ok());
    ASSERT_TRUE(db_->BeginWrite().ok());
  }

  // Stores `content` appended in pieces of `piece` bytes (small pieces
  // merge into chunks of uneven sizes).
  int64_t Store(const std::string& content, size_t piece, bool is_char) {
    LobStore lobs(*db_);
    int64_t id = 0;
    EXPECT_TRUE(lobs.Create(&id).ok());
    for (size_t at = 0; at < content.size(); at += piece)
      EXPECT_TRUE(lobs.Append(id, std::string_view(content).substr(at, piece), is_char).ok());
    return id;
  }

  // Reads [from, to) of value `id` taking `step` bytes at a time, through
  // Fill or (`peek`) through Peek and Release.
  std::string ReadRange(int64_t id, uint64_t from, uint64_t to, size_t step, bool peek) {
    LobReader r;
    std::string got;
    tabdb::Status st = r.Open(*db_, id, from, to);
    while (st.ok() && !r.at_end()) {
      std::string_view view;
      st = peek ? r.Peek(*db_, step, &view) : r.Fill(*db_, step);
      if (!peek) view = r.available();
      size_t n = std::min(step, view.size());
      if (!st.ok() || n == 0) break;
      got.append(view.data(), n);
      r.Consume(n);
      r.Release();
    }
    EXPECT_TRUE(st.ok()) << st.text();
    return got;
  }

  testsupport::TempDir dir_;
  std::unique_ptr<Database> db_;
};

TEST_F(LobReaderTest, EveryStartAndStepGivesTheStoredBytes) {
  std::string content;
  for (size_t i = 0; i < 3 * kLobChunk + 1234; ++i) content += static_cast<char>('a' + i * 7 % 26);
  for (size_t piece : {size_t{1000}, size_t{kLobChunk}, size_t{100000}}) {
    int64_t id = Store(content, piece, false);
    const uint64_t size = content.size();
    for (uint64_t from : {uint64_t{0}, uint64_t{1}, uint64_t{kLobChunk - 1}, uint64_t{kLobChunk},
                          uint64_t{kLobChunk + 5}, size - 1, size}) {
      for (size_t step : {size_t{1000}, size_t{kLobChunk}, size_t{3 * kLobChunk}}) {
        uint64_t to = std::min<uint64_t>(size, from + 2 * kLobChunk + 17);
        for (bool peek : {false, true}) {
          EXPECT_EQ(content.substr(from, to - from), ReadRange(id, from, to, step, peek))
              << "piece " << piece << " from " << from << " step " << step << " peek " << peek;
        }
      }
    }
  }
}

TEST_F(LobReaderTest, MissingChunkFailsInsteadOfEndingEarly) {
  std::string content(3 * kLobChunk, 'x');
  int64_t id = Store(content, kLobChunk, false);
  ASSERT_TRUE(db_->Exec("DELETE FROM tab$lobdata WHERE lob_id = " + std::to_string(id) +
                        " AND seq = " + std::to_string(kLobChunk))
                  .ok());
  LobReader r;
  ASSERT_TRUE(r.Open(*db_, id, 0, content.size()).ok());
  ASSERT_TRUE(r.Fill(*db_, kLobChunk).ok());
  r.Consume(kLobChunk);
  tabdb::Status st = r.Fill(*db_, kLobChunk);
  EXPECT_EQ(600, st.code()) << st.text();
  // Starting inside the missing chunk fails as well, when it is read.
  std::string_view view;
  ASSERT_TRUE(r.Open(*db_, id, kLobChunk + 10, content.size()).ok());
  EXPECT_EQ(600, r.Peek(*db_, 100, &view).code());
  // A read from inside the first chunk runs into the missing one.
  ASSERT_TRUE(r.Open(*db_, id, 5, content.size()).ok());
  EXPECT_EQ(600, r.Fill(*db_, 2 * kLobChunk).code());
}

TEST_F(LobReaderTest, CharacterOffsetsAcrossChunkEndsThatSplitCharacters) {
  // One-, two-, three- and four-byte characters: chunk ends fall inside
  // characters of every length.
  std::string text;
  const char* chars[] = {"a", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80"};
  for (size_t i = 0; text.size() < 2 * kLobChunk + 100; ++i) text += chars[i % 4];
  int64_t id = Store(text, 1001, true);
  LobStore lobs(*db_);
  for (uint64_t units : {uint64_t{0}, uint64_t{1}, uint64_t{9000}, uint64_t{18723}, uint64_t{18724},
                         uint64_t{30000}, uint64_t{1} << 40}) {
    uint64_t left = units;
    size_t expect = tabdb::Utf8SkipUnits(text, &left);
    uint64_t got = 0;
    ASSERT_TRUE(lobs.ByteOffsetOfUnits(id, units, &got).ok());
    EXPECT_EQ(expect, got) << units;
  }
}

}  // namespace
