// value.h - a single Oracle value inside the engine.
//
// Values travel in the byte forms the database stores: NUMBER, DATE,
// TIMESTAMP*, INTERVAL*, BINARY_FLOAT/DOUBLE and RAW as Oracle's internal
// bytes, character data as UTF-8 text. LOB and LONG values are either a
// reference to the chunked store (lob_id) or, for values made on the fly
// (literals, TO_CLOB, GET_DDL), their content inline in `bytes`.
#pragma once

#include <cstdint>
#include <string>

#include "values/types.h"

namespace tabdb {

struct Value {
  TypeKind kind = TypeKind::kVarchar2;
  bool null = true;
  std::string bytes;
  int64_t lob_id = 0;  // LOB/LONG stored value; 0 when inline or NULL
  bool empty_lob = false;  // a LOB locator marked empty (OCI_ATTR_LOBEMPTY)
  bool adopt = false;      // lob_id was made for this statement: store it, do not copy it

  static Value Null(TypeKind k) {
    Value v;
    v.kind = k;
    return v;
  }
  static Value Of(TypeKind k, std::string b) {
    Value v;
    v.kind = k;
    v.null = false;
    v.bytes = std::move(b);
    return v;
  }
};

}  // namespace tabdb
