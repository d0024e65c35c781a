// engine.h - running SQL statements of a session.
//
// The entry the SQL shell uses: statement text in, a row count or a result
// set of typed values out. The OCI statement layer uses the finer
// interfaces of the exec module (prepared statements with binds and array
// execution) that share the same compiler.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "exec/value.h"
#include "session/session.h"
#include "sql/ast.h"
#include "util/status.h"
#include "values/types.h"

namespace tabdb {

struct ResultColumn {
  std::string name;
  TypeDesc type;
};

// Rows of a query, read one at a time; memory does not grow with the row
// count.
class ResultSet {
 public:
  virtual ~ResultSet() = default;
  virtual const std::vector<ResultColumn>& columns() const = 0;
  virtual Status Next(bool* row) = 0;
  // Value of column i (0-based) of the current row.
  virtual Status Get(int i, Value* out) = 0;
};

struct ExecResult {
  sql::StmtKind kind = sql::StmtKind::kSelect;
  uint64_t rows = 0;                  // rows inserted, updated or deleted
  std::unique_ptr<ResultSet> result;  // queries
};

// Parses and runs one statement (no binds).
Status ExecuteText(Session& s, std::string_view text, ExecResult* out);

}  // namespace tabdb
