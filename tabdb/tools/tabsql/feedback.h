// feedback.h - the line the shell prints after a statement that returns no
// rows ("Table created.", "3 rows updated.", "Package body created.").
#pragma once

#include <cstdint>
#include <string>

#include "sql/ast.h"

namespace tabsql {

std::string FeedbackLine(tabdb::sql::StmtKind kind, uint64_t rows, const std::string& text);

}  // namespace tabsql
