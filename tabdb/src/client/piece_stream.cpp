// piece_stream.cpp - the piecewise transfer of one value, shared by LONG
// fetch and insert and by LOB reads and writes.
#include "client/piece_stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "charset/charset.h"
#include "client/nls.h"
#include "client/statement.h"
#include "session/session.h"
#include "util/errors.h"

namespace tabdb {

#ifdef TABDB_TEST_HOOKS
const PieceTestMode& TestPieces() {
  static PieceTestMode mode;
  static std::once_flag once;
  std::call_once(once, [] {
    const char* v = std::getenv("TABDB_TEST_PIECES");
    if (v == nullptr) return;
    std::string s = v;
    size_t i = 0;
    while (i <= s.size()) {
      size_t e = s.find(',', i);
      if (e == std::string::npos) e = s.size();
      std::string item = s.substr(i, e - i);
      if (item.compare(0, 4, "max=") == 0) mode.max_piece = std::strtoul(item.c_str() + 4, nullptr, 10);
      if (item == "emptylast") mode.empty_last = true;
      if (item == "emptynodata") mode.empty_no_data = true;
      i = e + 1;
    }
  });
  return mode;
}
#endif

PieceStream::PieceStream() = default;
PieceStream::~PieceStream() = default;
PieceStream::PieceStream(PieceStream&&) noexcept = default;
PieceStream& PieceStream::operator=(PieceStream&&) noexcept = default;

Status PieceStream::BeginRead(Session& s, int64_t lob_id, std::string inline_value,
                              uint64_t start, uint64_t end, bool chars, bool split_chars) {
  End();
  session_ = SessionRef(&s);
  chars_ = chars;
  split_chars_ = split_chars;
  lob_id_ = lob_id;
  inline_ = std::move(inline_value);
  if (lob_id == 0) end = std::min<uint64_t>(end, inline_.size());
  pos_ = std::min(start, end);
  end_ = end;
  if (lob_id != 0) TABDB_RETURN_IF_ERROR(reader_.Open(s.db(), lob_id, pos_, end_));
  state_ = PieceState::kStreaming;
  return Status::Ok();
}

std::string_view PieceStream::Available() const {
  if (lob_id_ != 0) return reader_.available();
  return std::string_view(inline_).substr(static_cast<size_t>(pos_), static_cast<size_t>(end_ - pos_));
}

Status PieceStream::PeekAvailable(Session& s, size_t want, std::string_view* out) {
  if (lob_id_ != 0) return reader_.Peek(s.db(), want, out);
  *out = Available();
  return Status::Ok();
}

Status PieceStream::FillAvailable(Session& s, size_t want) {
  return lob_id_ != 0 ? reader_.Fill(s.db(), want) : Status::Ok();
}

void PieceStream::Consume(size_t n) {
  if (lob_id_ != 0) {
    reader_.Consume(n);
  } else {
    pos_ += n;
  }
}

uint64_t PieceStream::Remaining() const {
  return lob_id_ != 0 ? reader_.end() - reader_.position() : end_ - pos_;
}

bool PieceStream::SourceDone() const { return Remaining() == 0; }

bool PieceStream::Exhausted() const { return SourceDone() && pending_.empty() && carry_.empty(); }

Status PieceStream::Read(ClientText& text, void* buf, size_t room, size_t* n, bool* more) {
  *n = 0;
  *more = false;
  if (state_ == PieceState::kEmptyLastDue) {
    End();
    return Status::Ok();
  }
  Session* s = session_.get();
  if (s == nullptr) return OraError(ora::kNotLoggedOn);
  if (TestPieces().max_piece > 0) room = std::min(room, TestPieces().max_piece);
  bool convert = chars_ && !text.identity();
  std::string_view from;
  size_t take = 0;
  if (!convert && lob_id_ != 0 && buf != nullptr) {
    // A stored value's bytes go to the caller's buffer as they are, from
    // the chunks themselves (a piece that does not line up with the chunks
    // after a cut character costs no copy of a chunk). Text is AL32UTF8 on
    // both sides: when more follows, a character the buffer cuts is given
    // back to the reader for the next piece (a piece without one whole
    // character is left to the general path below).
    uint64_t left = Remaining();
    char* out = static_cast<char*>(buf);
    TABDB_RETURN_IF_ERROR(reader_.Take(s->db(), out, room, &take));
    size_t whole = chars_ && take < left ? Utf8WholePrefix(std::string_view(out, take)) : take;
    if (whole > 0 || split_chars_ || take == 0) {
      if (whole > 0 && whole < take) {
        reader_.Unread(out + whole, take - whole);
        take = whole;
      }
      return Delivered(take, n, more);
    }
    reader_.Unread(out, take);
    take = 0;
  }
  if (!convert) {
    // Bytes that need no conversion go from the chunk store to the
    // caller's buffer as they are, a buffer's worth at a time (pieces as
    // large as a chunk read one chunk each). Text is AL32UTF8 on both
    // sides: when more follows, a character the buffer cuts is seen at its
    // end and left for the next piece.
    TABDB_RETURN_IF_ERROR(PeekAvailable(*s, room, &from));
    take = std::min(room, from.size());
    if (chars_ && take < Remaining()) {
      size_t whole = Utf8WholePrefix(from.substr(0, take));
      if (whole > 0 || !split_chars_) take = whole;
    }
  } else {
    // Converted text collects in pending_, whole characters only (a
    // character cut by a chunk end waits in carry_), so a buffer's worth
    // and a character more is enough to cut the piece between characters.
    std::string conv;
    while (pending_.size() < room + 4 && !(SourceDone() && carry_.empty())) {
      TABDB_RETURN_IF_ERROR(FillAvailable(*s, kLobChunk));
      std::string_view raw = Available().substr(0, kLobChunk);
      if (raw.empty() && carry_.empty()) break;
      std::string src = carry_;
      src.append(raw.data(), raw.size());
      Consume(raw.size());
      size_t whole = SourceDone() ? src.size() : Utf8WholePrefix(src);
      carry_.assign(src, whole, std::string::npos);
      text.ToClient(std::string_view(src).substr(0, whole), &conv);
      pending_ += conv;
      if (raw.empty()) break;
    }
    from = pending_;
    take = std::min(room, from.size());
    if (take < from.size()) {
      size_t whole = CharsetPrefixBytes(text.client(), from, room);
      if (whole > 0 || !split_chars_) take = whole;
    }
  }
  if (take == 0 && !from.empty() && !split_chars_) {
    // Not even one character fits the buffer.
    if (lob_id_ != 0) reader_.Release();
    return OraError(ora::kLobBufferTooSmall, {std::to_string(from.size()), std::to_string(room)});
  }
  if (buf != nullptr && take > 0) std::memcpy(buf, from.data(), take);
  if (convert) {
    pending_.erase(0, take);
  } else {
    Consume(take);
    if (lob_id_ != 0) reader_.Release();
  }
  return Delivered(take, n, more);
}

Status PieceStream::Delivered(size_t take, size_t* n, bool* more) {
  *n = take;
  ++pieces_;
  if (!Exhausted()) {
    *more = true;
    return Status::Ok();
  }
  if (TestPieces().empty_last && take > 0) {
    state_ = PieceState::kEmptyLastDue;
    *more = true;
    return Status::Ok();
  }
  End();
  return Status::Ok();
}

Status PieceStream::BeginWrite(Session& s, bool chars, const ClientText& text) {
  End();
  session_ = SessionRef(&s);
  chars_ = chars;
  if (chars && !text.identity())
    TABDB_RETURN_IF_ERROR(Converter::Open(text.client(), DatabaseCharset(), &conv_));
  state_ = PieceState::kStreaming;
  return Status::Ok();
}

void PieceStream::Feed(std::string_view in, bool last, std::string* out) {
  out->clear();
  if (!chars_) {
    out->assign(in.data(), in.size());
  } else if (conv_) {
    conv_->Feed(in, last, out);
  } else {
    // Only whole characters go on: the bytes of a character cut by the end
    // of this piece wait for the next one.
    out->assign(in_carry_);
    out->append(in.data(), in.size());
    size_t whole = last ? out->size() : Utf8WholePrefix(*out);
    in_carry_.assign(*out, whole, std::string::npos);
    out->resize(whole);
  }
}

bool PieceStream::TakeBuffer() {
  if (state_ != PieceState::kBufferGiven) return false;
  state_ = PieceState::kStreaming;
  return true;
}

void PieceStream::End() {
  state_ = PieceState::kIdle;
  pieces_ = 0;
  lob_id_ = 0;
  inline_.clear();
  pos_ = end_ = 0;
  reader_.Close();
  pending_.clear();
  carry_.clear();
  conv_.reset();
  in_carry_.clear();
}

}  // namespace tabdb
