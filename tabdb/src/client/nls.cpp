// nls.cpp - the client character set of an environment and its conversions.
#include "client/nls.h"

#include "charset/charset.h"

namespace tabdb {

Status ResolveClientCharset(const char* nls_lang, const CharsetInfo** out) {
  NlsLang nls;
  TABDB_RETURN_IF_ERROR(ParseNlsLang(nls_lang, &nls));
  *out = nls.charset;
  return Status::Ok();
}

ClientText::~ClientText() = default;

Status ClientText::Make(const CharsetInfo* client, std::unique_ptr<ClientText>* out) {
  std::unique_ptr<ClientText> t(new ClientText);
  const CharsetInfo* db = DatabaseCharset();
  t->client_ = client ? client : db;
  t->identity_ = t->client_ == db;
  if (!t->identity_) {
    TABDB_RETURN_IF_ERROR(Converter::Open(t->client_, db, &t->to_db_));
    TABDB_RETURN_IF_ERROR(Converter::Open(db, t->client_, &t->to_client_));
  }
  *out = std::move(t);
  return Status::Ok();
}

int ClientText::max_bytes() const { return client_->max_bytes; }

void ClientText::ToDb(std::string_view in, std::string* out) {
  out->clear();
  if (identity_) {
    out->assign(in.data(), in.size());
  } else {
    std::lock_guard<std::mutex> lock(mu_);
    to_db_->Convert(in, out);
  }
}

void ClientText::ToClient(std::string_view in, std::string* out) {
  out->clear();
  if (identity_) {
    out->assign(in.data(), in.size());
  } else {
    std::lock_guard<std::mutex> lock(mu_);
    to_client_->Convert(in, out);
  }
}

}  // namespace tabdb
