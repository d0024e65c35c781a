// output.cpp - the shell's output streams and its spool file.
#include "output.h"

namespace tabsql {

Output::~Output() { SpoolOff(); }

tabdb::Status Output::Open(const char* nls_lang) {
  using tabdb::Converter;
  if (nls_lang == nullptr || *nls_lang == '\0') return tabdb::Status::Ok();
  tabdb::NlsLang nls;
  TABDB_RETURN_IF_ERROR(tabdb::ParseNlsLang(nls_lang, &nls));
  if (nls.charset == tabdb::DatabaseCharset()) return tabdb::Status::Ok();
  TABDB_RETURN_IF_ERROR(Converter::Open(nls.charset, tabdb::DatabaseCharset(), &in_));
  return Converter::Open(tabdb::DatabaseCharset(), nls.charset, &out_);
}

void Output::In(std::string* text) {
  if (!in_) return;
  scratch_.clear();
  in_->Convert(*text, &scratch_);
  text->swap(scratch_);
}

const std::string& Output::Convert(const std::string& text) {
  if (!out_) return text;
  scratch_.clear();
  out_->Convert(text, &scratch_);
  return scratch_;
}

void Output::Out(const std::string& text) {
  const std::string& t = Convert(text);
  if (termout_) std::fwrite(t.data(), 1, t.size(), stdout);
  if (spool_) std::fwrite(t.data(), 1, t.size(), spool_);
}

void Output::Err(const std::string& text) {
  const std::string& t = Convert(text);
  std::fflush(stdout);
  std::fwrite(t.data(), 1, t.size(), stderr);
  std::fflush(stderr);
  if (spool_) std::fwrite(t.data(), 1, t.size(), spool_);
}

bool Output::Spool(const std::string& path, bool append) {
  SpoolOff();
  spool_ = std::fopen(path.c_str(), append ? "ab" : "wb");
  return spool_ != nullptr;
}

bool Output::SpoolOff() {
  if (!spool_) return false;
  std::fclose(spool_);
  spool_ = nullptr;
  return true;
}

}  // namespace tabsql
