// piece_stream.h - one value moving in pieces between a caller's buffers
// and the database, for the four piecewise transfers: a LONG fetched in
// pieces and a LOB read go out, a LONG bound at execution time and a LOB
// write come in.
//
// The stream keeps the transfer's state, its session (through the
// session's lifetime token, so that a call after the session ended is
// refused instead of reaching freed memory), and the character rules:
// pieces of text hold whole characters of the receiving side, text going
// out is converted to the client character set, text coming in to the
// database's. A value in the LOB store is read through a LobReader, which
// keeps its place between pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "client/handles.h"
#include "storage/lob_store.h"
#include "util/status.h"

namespace tabdb {

class ClientText;
class Converter;

// Test facility (environment variable TABDB_TEST_PIECES, read only in
// builds with TABDB_TEST_HOOKS, which the tests turn on): "max=N" delivers
// LONG and LOB values in pieces of at most N bytes whatever buffer is
// offered; "emptylast" ends every piecewise LONG fetch and LOB read with an
// extra empty piece; "emptynodata" answers the read of an empty LOB with
// OCI_NO_DATA. Items are separated by commas. Other builds have none of it.
struct PieceTestMode {
  size_t max_piece = 0;
  bool empty_last = false;
  bool empty_no_data = false;
};
#ifdef TABDB_TEST_HOOKS
const PieceTestMode& TestPieces();
#else
inline const PieceTestMode& TestPieces() {
  static constexpr PieceTestMode kNone{};
  return kNone;
}
#endif

enum class PieceState {
  kIdle,          // no value in transfer
  kStreaming,     // a value is in transfer; the next call continues it
  kBufferGiven,   // OCIStmtSetPieceInfo gave the buffer of the next piece
  kEmptyLastDue,  // every byte went out; the test facility's empty last piece is due
};

class PieceStream {
 public:
  PieceStream();
  ~PieceStream();
  PieceStream(PieceStream&&) noexcept;
  PieceStream& operator=(PieceStream&&) noexcept;

  PieceState state() const { return state_; }
  bool active() const { return state_ != PieceState::kIdle; }
  // The session of the transfer; null once that session has ended.
  Session* session() const { return session_.get(); }
  // Pieces handed over so far.
  int pieces() const { return pieces_; }

  // ---- outgoing: LONG fetch, LOB read -------------------------------------
  // Starts sending bytes [start, end) of a value: stored value `lob_id`, or
  // `inline_value` when lob_id is 0. `chars` makes it text (UTF-8, sent in
  // the client character set, cut between characters). `split_chars`
  // lets a piece cut a character, or be empty, when the buffer cannot hold
  // one (LONG pieces); otherwise Read fails with ORA-22835 then.
  Status BeginRead(Session& s, int64_t lob_id, std::string inline_value, uint64_t start,
                   uint64_t end, bool chars, bool split_chars);
  // Copies the next piece, at most `room` bytes, to `buf`. *more tells
  // whether another piece follows; after the last one the stream is idle.
  Status Read(ClientText& text, void* buf, size_t room, size_t* n, bool* more);

  // ---- incoming: LONG insert, LOB write ------------------------------------
  // Starts receiving a value; `chars` makes it text in the client
  // character set of `text`.
  Status BeginWrite(Session& s, bool chars, const ClientText& text);
  // The database bytes of the next piece `in`: whole characters only (the
  // bytes of a character cut by the piece's end wait for the next one, or
  // become a replacement character at the `last` piece).
  void Feed(std::string_view in, bool last, std::string* out);
  // Counts a piece received.
  void CountPiece() { ++pieces_; }

  // ---- buffers of OCIStmtSetPieceInfo --------------------------------------
  void GiveBuffer() { state_ = PieceState::kBufferGiven; }
  // Whether a buffer was given for this piece; it is used up.
  bool TakeBuffer();

  // Ends the transfer (idle; memory is kept for the next value).
  void End();

 private:
  PieceState state_ = PieceState::kIdle;
  SessionRef session_;
  int pieces_ = 0;
  bool chars_ = false;
  bool split_chars_ = false;
  // Outgoing.
  int64_t lob_id_ = 0;
  std::string inline_;     // a value not in the store
  uint64_t pos_ = 0;       // next byte of inline_ (stored values: reader_)
  uint64_t end_ = 0;
  LobReader reader_;
  std::string pending_;    // converted text not yet sent (whole characters)
  std::string carry_;      // bytes of a character cut by a chunk end, not yet converted
  // Incoming.
  std::unique_ptr<Converter> conv_;
  std::string in_carry_;   // bytes of a character cut by a piece end

  std::string_view Available() const;
  Status FillAvailable(Session& s, size_t want);
  // Up to `want` bytes of the source, without a copy where it can; a
  // stored value's reader must be released before the call returns.
  Status PeekAvailable(Session& s, size_t want, std::string_view* out);
  void Consume(size_t n);
  uint64_t Remaining() const;  // bytes of the source not yet taken
  bool SourceDone() const;
  bool Exhausted() const;
  // Counts a piece of `take` bytes handed over and ends the stream after
  // the last one.
  Status Delivered(size_t take, size_t* n, bool* more);
};

}  // namespace tabdb
