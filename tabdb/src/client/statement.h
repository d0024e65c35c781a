// statement.h - the state behind an OCI statement handle, as far as other
// parts of the client layer need it.
#pragma once

#include <cstdint>

#include <oci.h>

#include "util/status.h"

namespace tabdb {

// What OCIAttrGet reports about a statement.
struct StatementCounters {
  uint64_t row_count = 0;    // rows processed by the last execution / fetched so far
  uint32_t rows_fetched = 0; // rows delivered by the last fetch
  uint16_t stmt_type = 0;    // OCI_STMT_*
  uint32_t param_count = 0;  // select-list columns
};

StatementCounters CountersOf(OCIStmt* stmt);

// OCI_ATTR_CHARSET_FORM / OCI_ATTR_CHARSET_ID on a bind or define. A null
// handle gives a Status with code -2 (invalid handle).
Status SetBindAttribute(OCIBind* bind, uint32_t attr, const void* value);
Status SetDefineAttribute(OCIDefine* define, uint32_t attr, const void* value);

}  // namespace tabdb
