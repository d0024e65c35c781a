// nls.h - the client character set of an environment, from NLS_LANG.
#pragma once

#include "util/status.h"

namespace tabdb {

struct CharsetInfo;

// Resolves the NLS_LANG value read at environment creation (null when the
// variable is not set) to the client character set. An invalid value
// fails with ORA-12705.
Status ResolveClientCharset(const char* nls_lang, const CharsetInfo** out);

}  // namespace tabdb
