// nls.cpp - the client character set of an environment, from NLS_LANG.
#include "client/nls.h"

namespace tabdb {

Status ResolveClientCharset(const char* nls_lang, const CharsetInfo** out) {
  (void)nls_lang;
  *out = nullptr;
  return Status::Ok();
}

}  // namespace tabdb
