// converter.cpp - conversion of text between character sets: each source
// character is decoded to a code point and encoded in the target set.
// Unicode forms are handled here; single-byte sets go through tables built
// once from iconv; multibyte Asian sets call iconv one character at a time.
#include <iconv.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "charset/charset.h"
#include "charset/charset_internal.h"
#include "util/errors.h"

namespace tabdb {

using namespace charset_internal;

namespace {

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

// Tables of a single-byte set: byte -> code point (kInvalid where the byte
// is undefined) and the sorted reverse mapping.
struct SingleByteTables {
  uint32_t decode[256];
  std::vector<std::pair<uint32_t, uint8_t>> encode;
};

// Runs iconv over one character; false when it is invalid or has no
// mapping. The handle is reset after a failure.
bool IconvOne(iconv_t cd, const uint8_t* in, size_t n, uint8_t* out, size_t cap, size_t* out_len) {
  char* ip = const_cast<char*>(reinterpret_cast<const char*>(in));
  size_t il = n;
  char* op = reinterpret_cast<char*>(out);
  size_t ol = cap;
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  if (r == static_cast<size_t>(-1) || il != 0) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return false;
  }
  *out_len = cap - ol;
  return *out_len > 0;
}

uint32_t LoadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

const SingleByteTables* TablesFor(const CharsetInfo* cs) {
  static std::mutex mu;
  static std::map<const CharsetInfo*, std::unique_ptr<SingleByteTables>> cache;
  std::lock_guard<std::mutex> lock(mu);
  auto it = cache.find(cs);
  if (it != cache.end()) return it->second.get();
  iconv_t cd = iconv_open("UTF-32BE", cs->iconv_name);
  if (cd == kNoIconv) return nullptr;
  auto t = std::make_unique<SingleByteTables>();
  for (int b = 0; b < 256; ++b) {
    uint8_t in = static_cast<uint8_t>(b), out[8];
    size_t len = 0;
    t->decode[b] = IconvOne(cd, &in, 1, out, sizeof out, &len) && len == 4 ? LoadBe32(out) : kInvalid;
    if (t->decode[b] != kInvalid) t->encode.emplace_back(t->decode[b], in);
  }
  iconv_close(cd);
  std::stable_sort(t->encode.begin(), t->encode.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  const SingleByteTables* result = t.get();
  cache.emplace(cs, std::move(t));
  return result;
}


void AppendUtf16Unit(uint32_t unit, std::string* out) {
  out->push_back(static_cast<char>(unit >> 8));
  out->push_back(static_cast<char>(unit & 0xFF));
}

bool IsMultibyteTable(int kind) { return kind == kShiftJis || kind == kEucJp || kind == kDoubleByte; }

}  // namespace

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

Status Converter::Open(const CharsetInfo* from, const CharsetInfo* to, std::unique_ptr<Converter>* out) {
  if (from == nullptr || to == nullptr) return OraError(ora::kNlsDataInvalid);
  std::unique_ptr<Converter> c(new Converter());
  c->from_ = from;
  c->to_ = to;
  c->from_kind_ = EncodingOf(from);
  c->to_kind_ = EncodingOf(to);
  if (from != to) {
    c->ascii_copy_ = IsAsciiBased(from) && IsAsciiBased(to);
    if (c->from_kind_ == kSingle) {
      const SingleByteTables* t = TablesFor(from);
      if (t == nullptr) return OraError(ora::kNlsDataInvalid);
      c->decode_table_ = t->decode;
    } else if (IsMultibyteTable(c->from_kind_)) {
      iconv_t cd = iconv_open("UTF-32BE", from->iconv_name);
      if (cd == kNoIconv) return OraError(ora::kNlsDataInvalid);
      c->decode_cd_ = cd;
    }
    if (c->to_kind_ == kSingle) {
      const SingleByteTables* t = TablesFor(to);
      if (t == nullptr) return OraError(ora::kNlsDataInvalid);
      c->encode_table_ = t;
    } else if (IsMultibyteTable(c->to_kind_)) {
      iconv_t cd = iconv_open(to->iconv_name, "UTF-32BE");
      if (cd == kNoIconv) return OraError(ora::kNlsDataInvalid);
      c->encode_cd_ = cd;
    }
  }
  *out = std::move(c);
  return Status::Ok();
}

Converter::~Converter() {
  if (decode_cd_ != kNoIconv) iconv_close(static_cast<iconv_t>(decode_cd_));
  if (encode_cd_ != kNoIconv) iconv_close(static_cast<iconv_t>(encode_cd_));
}

void Converter::Convert(std::string_view in, std::string* out) {
  pending_.clear();
  in_value_ = false;
  Feed(in, true, out);
}

void Converter::Feed(std::string_view piece, bool last, std::string* out) {
  if (!in_value_) {
    replaced_ = false;
    in_value_ = true;
  }
  if (identity()) {
    out->append(piece);
  } else if (!pending_.empty()) {
    scratch_.assign(pending_);
    scratch_.append(piece);
    pending_.clear();
    Run(reinterpret_cast<const uint8_t*>(scratch_.data()), scratch_.size(), last, out);
  } else {
    Run(reinterpret_cast<const uint8_t*>(piece.data()), piece.size(), last, out);
  }
  if (last) in_value_ = false;
}

void Converter::Run(const uint8_t* p, size_t n, bool last, std::string* out) {
  size_t i = 0;
  while (i < n) {
    if (ascii_copy_ && p[i] < 0x80) {
      size_t j = i + 1;
      while (j < n && p[j] < 0x80) ++j;
      out->append(reinterpret_cast<const char*>(p + i), j - i);
      i = j;
      continue;
    }
    uint32_t cp;
    size_t used = Decode(p + i, n - i, &cp);
    if (used == 0) {
      if (!last) {
        pending_.assign(reinterpret_cast<const char*>(p + i), n - i);
        return;
      }
      // The value ends inside a character.
      Encode(kInvalid, out);
      return;
    }
    Encode(cp, out);
    i += used;
  }
}

size_t Converter::Decode(const uint8_t* p, size_t n, uint32_t* cp) {
  switch (from_kind_) {
    case kUtf8:
      return DecodeUtf8(p, n, cp);
    case kCesu8:
      return DecodeCesu8(p, n, cp);
    case kUtf16Be: {
      if (n < 2) return 0;
      uint32_t unit = (uint32_t{p[0]} << 8) | p[1];
      if (unit < 0xD800 || unit > 0xDFFF) return *cp = unit, 2;
      if (unit >= 0xDC00) return *cp = kInvalid, 2;
      if (n < 4) return 0;
      uint32_t low = (uint32_t{p[2]} << 8) | p[3];
      if (low < 0xDC00 || low > 0xDFFF) return *cp = kInvalid, 2;
      *cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      return 4;
    }
    case kSingle:
      *cp = decode_table_[p[0]];
      return 1;
    default: {
      if (p[0] < 0x80) return *cp = p[0], 1;
      size_t len = LeadLength(static_cast<Encoding>(from_kind_), p[0]);
      if (n < len) return 0;
      uint8_t buf[8];
      size_t got = 0;
      if (IconvOne(static_cast<iconv_t>(decode_cd_), p, len, buf, sizeof buf, &got) && got == 4) {
        *cp = LoadBe32(buf);
        return len;
      }
      *cp = kInvalid;
      return 1;
    }
  }
}

void Converter::Encode(uint32_t cp, std::string* out) {
  if (cp != kInvalid) {
    switch (to_kind_) {
      case kUtf8:
        AppendUtf8(cp, out);
        return;
      case kCesu8:
        if (cp < 0x10000) {
          AppendUtf8(cp, out);
        } else {
          AppendUtf8(0xD800 + ((cp - 0x10000) >> 10), out);
          AppendUtf8(0xDC00 + ((cp - 0x10000) & 0x3FF), out);
        }
        return;
      case kUtf16Be:
        if (cp < 0x10000) {
          AppendUtf16Unit(cp, out);
        } else {
          AppendUtf16Unit(0xD800 + ((cp - 0x10000) >> 10), out);
          AppendUtf16Unit(0xDC00 + ((cp - 0x10000) & 0x3FF), out);
        }
        return;
      case kSingle: {
        const auto& map = static_cast<const SingleByteTables*>(encode_table_)->encode;
        auto it = std::lower_bound(map.begin(), map.end(), cp,
                                   [](const std::pair<uint32_t, uint8_t>& e, uint32_t v) { return e.first < v; });
        if (it != map.end() && it->first == cp) {
          out->push_back(static_cast<char>(it->second));
          return;
        }
        break;
      }
      default: {
        if (cp < 0x80) {
          out->push_back(static_cast<char>(cp));
          return;
        }
        uint8_t in[4] = {static_cast<uint8_t>(cp >> 24), static_cast<uint8_t>(cp >> 16),
                         static_cast<uint8_t>(cp >> 8), static_cast<uint8_t>(cp)};
        uint8_t buf[8];
        size_t got = 0;
        // A non-ASCII character must not turn into an ASCII byte (Shift-JIS
        // maps the yen sign to 0x5C, which these sets read as backslash).
        if (IconvOne(static_cast<iconv_t>(encode_cd_), in, 4, buf, sizeof buf, &got) &&
            !(got == 1 && buf[0] < 0x80)) {
          out->append(reinterpret_cast<const char*>(buf), got);
          return;
        }
        break;
      }
    }
  }
  replaced_ = true;
  out->append(to_->replacement);
}

}  // namespace tabdb
