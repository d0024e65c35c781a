// nls.h - the client character set of an environment, from NLS_LANG, and
// the conversions of text between it and the database character set.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "util/status.h"

namespace tabdb {

struct CharsetInfo;
class Converter;

// Resolves the NLS_LANG value read at environment creation (null when the
// variable is not set) to the client character set. An invalid value
// fails with ORA-12705.
Status ResolveClientCharset(const char* nls_lang, const CharsetInfo** out);

// Text conversions of one environment: client character set <-> AL32UTF8.
// Identity when the client set is AL32UTF8 (the common case: a copy).
class ClientText {
 public:
  static Status Make(const CharsetInfo* client, std::unique_ptr<ClientText>* out);
  ~ClientText();

  bool identity() const { return identity_; }
  const CharsetInfo* client() const { return client_; }
  int max_bytes() const;  // bytes one character takes at most in the client set

  // Whole values (values in pieces convert through a PieceStream).
  void ToDb(std::string_view in, std::string* out);
  void ToClient(std::string_view in, std::string* out);

 private:
  ClientText() = default;
  const CharsetInfo* client_ = nullptr;
  bool identity_ = true;
  std::unique_ptr<Converter> to_db_, to_client_;
  // An OCI_THREADED environment is shared by the threads of its sessions,
  // and a converter keeps iconv state: one conversion at a time.
  std::mutex mu_;
};

}  // namespace tabdb
