// sql_parser_fuzz.cpp - libFuzzer target of the embedded database's SQL
// front end: any bytes go through the statement parser, the expression and
// the type parsers, and the printer's forms must parse back to themselves.
//
// Failures it reports: crashes and sanitizer findings, an error without an
// Oracle number and text, a statement that does not keep its text, and a
// printed expression or type that does not re-parse to the same print.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "sql/parser.h"
#include "sql/printer.h"

namespace {

using tabdb::Status;

void Check(bool ok, const char* what, std::string_view input) {
  if (ok) return;
  std::fprintf(stderr, "sql_parser_fuzz: %s\ninput: %.*s\n", what, static_cast<int>(input.size()),
               input.data());
  std::abort();
}

void CheckError(const Status& st, std::string_view input) {
  if (st.ok()) return;
  Check(st.code() > 0, "error without an Oracle number", input);
  Check(st.text().compare(0, 4, "ORA-") == 0, "error text without ORA-", input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);

  std::unique_ptr<tabdb::sql::Statement> stmt;
  Status st = tabdb::sql::Parse(text, &stmt);
  CheckError(st, text);
  if (st.ok()) {
    Check(stmt != nullptr, "success without a statement", text);
    Check(stmt->text == text, "statement does not keep its text", text);
  } else {
    Check(stmt == nullptr, "failed parse changed its output", text);
  }

  tabdb::sql::ExprPtr expr;
  st = tabdb::sql::ParseExpression(text, &expr);
  CheckError(st, text);
  // The printer abbreviates subqueries ("(SELECT ...)"): such expressions
  // are never kept as text, so only the others must print back.
  if (st.ok() && expr && !tabdb::sql::HasSubquery(*expr)) {
    std::string printed = tabdb::sql::ExprToText(*expr);
    tabdb::sql::ExprPtr again;
    Status st2 = tabdb::sql::ParseExpression(printed, &again);
    Check(st2.ok() && again, "printed expression does not parse", printed);
    Check(tabdb::sql::ExprToText(*again) == printed, "printed expression prints differently", printed);
  }

  tabdb::TypeDesc type;
  st = tabdb::sql::ParseType(text, &type);
  CheckError(st, text);
  if (st.ok()) {
    std::string printed = tabdb::sql::TypeToText(type);
    tabdb::TypeDesc again;
    Check(tabdb::sql::ParseType(printed, &again).ok(), "printed type does not parse", printed);
    Check(tabdb::sql::TypeToText(again) == printed, "printed type prints differently", printed);
  }
  return 0;
}
