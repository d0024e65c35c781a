// output.h - where the SQL shell writes: standard output, standard error
// and the SPOOL file, in the client character set, in program order.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "charset/charset.h"
#include "util/status.h"

namespace tabsql {

class Output {
 public:
  ~Output();
  // Opens the conversion to the client character set of NLS_LANG (none
  // without NLS_LANG or with the database's own set).
  tabdb::Status Open(const char* nls_lang);
  // Client text to the database's, in place.
  void In(std::string* text);
  // Writes database text to standard output (unless SET TERMOUT OFF holds
  // it back) and to the spool file.
  void Out(const std::string& text);
  // Writes a message to standard error and the spool file, after what
  // standard output holds, so that both streams keep the program's order.
  void Err(const std::string& text);
  // SPOOL path [APPEND]: false when the file cannot be opened.
  bool Spool(const std::string& path, bool append);
  // SPOOL OFF: false when nothing was spooled.
  bool SpoolOff();
  bool spooling() const { return spool_ != nullptr; }
  void set_termout(bool on) { termout_ = on; }

 private:
  const std::string& Convert(const std::string& text);
  std::unique_ptr<tabdb::Converter> in_, out_;
  std::string scratch_;
  std::FILE* spool_ = nullptr;
  bool termout_ = true;
};

}  // namespace tabsql
