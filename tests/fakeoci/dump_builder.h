// dump_builder.h - writes dump files byte by byte for the reader tests and
// the fuzz seeds: header, directory, and table sections with rows, streams
// and index lists, well-formed unless a test asks for raw bytes; with
// `extension`, also the checksummed extension record and the trailer.
#pragma once

#include <xxhash.h>

#include <cstdint>
#include <string>
#include <vector>

namespace dumpbuild {

inline void Put16(std::string& s, uint16_t v) {
  s.push_back(static_cast<char>(v >> 8));
  s.push_back(static_cast<char>(v & 0xFF));
}

inline void Put32(std::string& s, uint32_t v) {
  Put16(s, static_cast<uint16_t>(v >> 16));
  Put16(s, static_cast<uint16_t>(v));
}

inline void Put64(std::string& s, uint64_t v) {
  Put32(s, static_cast<uint32_t>(v >> 32));
  Put32(s, static_cast<uint32_t>(v));
}

// A NUL-terminated name in a fixed field of `size` bytes.
inline void PutName(std::string& s, const std::string& name, size_t size = 32) {
  std::string f = name.substr(0, size - 1);
  f.resize(size, '\0');
  s += f;
}

// Oracle NUMBER bytes of a non-negative integer.
inline std::string Number(uint64_t v) {
  if (v == 0) return std::string(1, '\x80');
  std::vector<int> digits;  // base 100, least significant first
  while (v > 0) {
    digits.push_back(static_cast<int>(v % 100));
    v /= 100;
  }
  std::string out(1, static_cast<char>(0xC0 + digits.size()));
  size_t last = 0;  // drop trailing zero digits
  while (last < digits.size() && digits[last] == 0) last++;
  for (size_t i = digits.size(); i-- > last;) out.push_back(static_cast<char>(digits[i] + 1));
  return out;
}

// Payload of a trailer GRANT record (kind 4): privilege number (1 is
// SELECT), flags (1 grantable), the two name lengths, the names.
inline std::string GrantPayload(uint8_t priv, uint8_t flags, const std::string& object,
                                const std::string& grantee) {
  std::string p;
  p.push_back(static_cast<char>(priv));
  p.push_back(static_cast<char>(flags));
  p.push_back(static_cast<char>(object.size() & 0xFF));
  p.push_back(static_cast<char>(grantee.size() & 0xFF));
  return p + object + grantee;
}

// Payload of a trailer COMMENT record (kind 5): the two name lengths, the
// names, the text.
inline std::string CommentPayload(const std::string& table, const std::string& column,
                                  const std::string& text) {
  std::string p;
  p.push_back(static_cast<char>(table.size() & 0xFF));
  p.push_back(static_cast<char>(column.size() & 0xFF));
  return p + table + column + text;
}

// Payload of a trailer SYNONYM record (kind 6): the three name lengths,
// then the synonym's name, its object's schema ("" for the dump's own)
// and the object's name.
inline std::string SynonymPayload(const std::string& name, const std::string& schema,
                                  const std::string& object) {
  std::string p;
  p.push_back(static_cast<char>(name.size() & 0xFF));
  p.push_back(static_cast<char>(schema.size() & 0xFF));
  p.push_back(static_cast<char>(object.size() & 0xFF));
  return p + name + schema + object;
}

// Payload of a trailer SEQUENCE record (kind 7): name length, flags (1
// CYCLE, 2 ORDER), the lengths of minimum, maximum, increment, start and
// cache ("" NOCACHE), the name, the five numbers.
inline std::string SequencePayload(const std::string& name, uint8_t flags,
                                   const std::vector<std::string>& nums) {
  std::string p;
  p.push_back(static_cast<char>(name.size() & 0xFF));
  p.push_back(static_cast<char>(flags));
  for (const std::string& n : nums) p.push_back(static_cast<char>(n.size() & 0xFF));
  p += name;
  for (const std::string& n : nums) p += n;
  return p;
}

constexpr uint16_t kEnd = 0x0000;
constexpr uint16_t kLong = 0xFFFB;
constexpr uint16_t kLob = 0xFFFC;
constexpr uint16_t kStream = 0xFFFD;
constexpr uint16_t kNull = 0xFFFE;
constexpr uint16_t kRowsEnd = 0xFFFF;

// One value slot of a row record.
struct Slot {
  uint16_t word = kNull;
  std::string bytes;
};
inline Slot Null() { return {kNull, ""}; }
inline Slot Val(const std::string& v) { return {static_cast<uint16_t>(v.size()), v}; }
inline Slot LongMark() { return {kLong, ""}; }
inline Slot LobMark() { return {kLob, ""}; }

struct Column {
  uint32_t ctype;
  uint32_t clen;
  std::string name;
};

// One table section. Rows and streams are appended in file order.
struct Table {
  std::string name;
  std::string ddl;
  std::vector<Column> cols;
  std::vector<std::string> index_sql;
  std::string body;        // the encoded rows and streams
  uint32_t nrows = 0;
  // Directory fields; computed from the columns unless set.
  int flag = -1;
  int nlob = -1;
  int ncol = -1;
  bool rows_end = true;    // write the end-of-rows word
  bool list_end = true;    // write the end of the index list
  std::string raw_after;   // bytes appended after the section

  Table(std::string n, std::vector<Column> c) : name(std::move(n)), cols(std::move(c)) {
    ddl = "create table \"" + name + "\" (x number)";
  }

  // A row record: the slots in select order and the end-of-row word.
  Table& Row(const std::vector<Slot>& slots) {
    for (const Slot& s : slots) {
      Put16(body, s.word);
      body += s.bytes;
    }
    Put16(body, kEnd);
    nrows++;
    return *this;
  }

  // A stream of the given pieces. With `empty_last`, an empty last piece
  // is written before the end word, as a writer that always writes the
  // last piece does.
  Table& Stream(const std::vector<std::string>& pieces, bool empty_last = false) {
    Put16(body, kStream);
    for (const std::string& p : pieces) {
      Put16(body, static_cast<uint16_t>(p.size()));
      body += p;
    }
    if (empty_last) Put16(body, kEnd);
    Put16(body, kEnd);
    return *this;
  }

  // A stream of `data`, cut into pieces of at most `piece` bytes.
  Table& StreamOf(const std::string& data, size_t piece = 32768, bool empty_last = false) {
    std::vector<std::string> pieces;
    for (size_t at = 0; at < data.size(); at += piece) pieces.push_back(data.substr(at, piece));
    return Stream(pieces, empty_last);
  }

  Table& Raw(const std::string& bytes) {
    body += bytes;
    return *this;
  }

  uint32_t Flag() const {
    if (flag >= 0) return static_cast<uint32_t>(flag);
    uint32_t f = 0;
    for (const Column& c : cols) {
      if (c.ctype == 13 || c.ctype == 14) f |= 1;
      if (c.ctype >= 15 && c.ctype <= 17) f |= 2;
    }
    return f;
  }

  uint32_t Nlob() const {
    if (nlob >= 0) return static_cast<uint32_t>(nlob);
    uint32_t n = 0;
    for (const Column& c : cols) n += c.ctype >= 15 && c.ctype <= 17;
    return n;
  }

  std::string Section() const {
    std::string s;
    Put16(s, static_cast<uint16_t>(ddl.size()));
    s += ddl;
    for (const Column& c : cols) {
      Put32(s, c.ctype);
      Put32(s, c.clen);
      PutName(s, c.name);
    }
    s += body;
    if (rows_end) Put16(s, kRowsEnd);
    for (const std::string& q : index_sql) {
      Put16(s, static_cast<uint16_t>(q.size()));
      s += q;
    }
    if (list_end) Put16(s, kEnd);
    return s + raw_after;
  }
};

struct Dump {
  std::string owner = "APP";
  std::string nls_lang = "AMERICAN_AMERICA.AL32UTF8";
  std::vector<Table> tables;
  int tab_cnt = -1;        // header count; the number of tables unless set
  bool zero_directory = false;  // as left by a failed export
  bool extension = false;       // header extension record and trailer
  uint32_t ext_flags = 0;
  std::vector<std::string> deferred;  // the trailer's statement list
  uint32_t version = 1;                // of the extension record
  bool warning_list = false;           // the trailer ends with a warning list
  std::vector<std::string> warnings;   // its lines
  // Format 3: the lists as typed records (kind, 4-byte length, payload),
  // then `extra` records, then the end record unless records_end is off.
  struct Record {
    uint16_t kind;
    std::string payload;
    int64_t declared = -1;  // the length written, when not the payload's
  };
  bool records = false;
  std::vector<Record> extra;
  bool records_end = true;
  // Format 3: tables whose names do not fit the directory, their sections
  // after the directory's and a table record each (after the warnings).
  std::vector<Table> long_tables;
  int64_t long_offset_shift = 0;  // added to the first long table's recorded offset

  std::string Build() const {
    uint64_t n = tables.size();
    uint64_t dir = (n * 56 + 511) / 512 * 512;
    std::string head;
    PutName(head, "Tabdump");
    PutName(head, owner);
    PutName(head, nls_lang, 128);
    Put64(head, 1024);
    Put32(head, tab_cnt >= 0 ? static_cast<uint32_t>(tab_cnt) : static_cast<uint32_t>(n));
    Put32(head, 0);
    head.resize(1024, '\0');

    std::string data, directory, trails;
    uint64_t offset = 1024 + dir;
    for (const Table& t : tables) {
      std::string sec = t.Section();
      Put64(trails, sec.size());
      Put64(trails, t.nrows);
      Put64(trails, XXH3_64bits(sec.data(), sec.size()));
      Put32(directory, t.Flag());
      Put32(directory, t.ncol >= 0 ? static_cast<uint32_t>(t.ncol) : static_cast<uint32_t>(t.cols.size()));
      Put32(directory, t.Nlob());
      Put32(directory, t.nrows);
      Put64(directory, offset);
      PutName(directory, t.name);
      offset += sec.size();
      data += sec;
    }
    std::string long_records;
    for (size_t k = 0; k < long_tables.size(); k++) {
      const Table& t = long_tables[k];
      std::string sec = t.Section();
      std::string p;
      Put32(p, t.Flag());
      Put32(p, t.ncol >= 0 ? static_cast<uint32_t>(t.ncol) : static_cast<uint32_t>(t.cols.size()));
      Put32(p, t.Nlob());
      Put32(p, t.nrows);
      Put64(p, offset + (k == 0 ? long_offset_shift : 0));
      Put64(p, sec.size());
      Put64(p, t.nrows);
      Put64(p, XXH3_64bits(sec.data(), sec.size()));
      p += t.name;
      Put16(long_records, 3);
      Put32(long_records, static_cast<uint32_t>(p.size()));
      long_records += p;
      offset += sec.size();
      data += sec;
    }
    if (zero_directory) directory.assign(directory.size(), '\0');
    directory.resize(dir, '\0');
    if (!extension) {
      if (n == 0) return head;
      return head + directory + data;
    }
    std::string trailer = "Tabdtrl";
    trailer.push_back('\0');
    Put32(trailer, static_cast<uint32_t>(n));
    Put32(trailer, 0);
    trailer += trails;
    if (records) {
      auto put = [&trailer](uint16_t kind, const std::string& p, int64_t declared) {
        Put16(trailer, kind);
        Put32(trailer, declared >= 0 ? static_cast<uint32_t>(declared) : static_cast<uint32_t>(p.size()));
        trailer += p;
      };
      for (const std::string& q : deferred) put(1, q, -1);
      for (const std::string& w : warnings) put(2, w, -1);
      trailer += long_records;
      for (const Record& r : extra) put(r.kind, r.payload, r.declared);
      if (records_end) put(0, "", -1);
    } else {
      for (const std::string& q : deferred) {
        Put16(trailer, static_cast<uint16_t>(q.size()));
        trailer += q;
      }
      Put16(trailer, kEnd);
    }
    if (warning_list && !records) {
      for (const std::string& w : warnings) {
        Put16(trailer, static_cast<uint16_t>(w.size()));
        trailer += w;
      }
      Put16(trailer, kEnd);
    }
    std::string ext = "Tabdext";
    ext.push_back('\0');
    Put32(ext, version);
    Put32(ext, ext_flags);
    Put64(ext, 1024 + dir + data.size());
    Put64(ext, trailer.size());
    head.replace(208, ext.size(), ext);  // both checksums still zero
    std::string covered = head + directory;
    std::string sums;
    Put64(sums, XXH3_64bits(covered.data(), covered.size()));
    Put64(sums, XXH3_64bits(trailer.data(), trailer.size()));
    head.replace(240, 16, sums);
    return head + directory + data + trailer;
  }
};

}  // namespace dumpbuild
