// pending_weak.cpp - weak stand-ins for functions of modules still being written.
#include "catalog/catalog.h"
#include "exec/compiler.h"
#include "sql/parser.h"
#include "util/errors.h"
namespace tabdb {
namespace sql {
__attribute__((weak)) Status Parse(std::string_view, std::unique_ptr<Statement>*) { return OraError(3001); }
}  // namespace sql
__attribute__((weak)) Status ResolveTable(Session&, const sql::NameList&, TableInfo*) { return OraError(942); }
__attribute__((weak)) Status InferExprType(Session&, const TableInfo&, const sql::Expr&, TypeDesc*) { return OraError(3001); }
}  // namespace tabdb
