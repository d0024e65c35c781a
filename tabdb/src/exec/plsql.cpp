// plsql.cpp - running PL/SQL blocks and the built-in procedures they call.
#include "exec/plsql.h"

#include "catalog/catalog.h"
#include "exec/plsql_units.h"
#include "sql/plsql_parser.h"
#include "util/errors.h"

namespace tabdb {
namespace {

std::string Dotted(const sql::NameList& n) {
  std::string s;
  for (size_t i = 0; i < n.size(); ++i) s += (i ? "." : "") + n[i].text;
  return s;
}

// Oracle's answer to a call of an unknown procedure.
Status NotDeclared(const std::string& name) {
  Status st = OraErrorText(ora::kPlsqlLineColumn, "line 1, column 7:\nPLS-00201: identifier '" + name +
                                     "' must be declared");
  st.AddLine("ORA-06550: line 1, column 7:");
  st.AddLine("PL/SQL: Statement ignored");
  return st;
}

Status BadParam(const std::string& value, const std::string& param) {
  Status st = OraError(ora::kInvalidInputValue, {value, param, "SET_TRANSFORM_PARAM"});
  st.AddLine("ORA-06512: at \"SYS.DBMS_METADATA\", line 4191");
  st.AddLine("ORA-06512: at line 2");
  return st;
}

bool* Param(TransformParams& t, const std::string& name) {
  if (name == "PRETTY") return &t.pretty;
  if (name == "SQLTERMINATOR") return &t.sqlterminator;
  if (name == "SEGMENT_ATTRIBUTES") return &t.segment_attributes;
  if (name == "STORAGE") return &t.storage;
  if (name == "TABLESPACE") return &t.tablespace;
  if (name == "CONSTRAINTS") return &t.constraints;
  if (name == "REF_CONSTRAINTS") return &t.ref_constraints;
  if (name == "CONSTRAINTS_AS_ALTER") return &t.constraints_as_alter;
  if (name == "SIZE_BYTE_KEYWORD") return &t.size_byte_keyword;
  if (name == "EMIT_SCHEMA") return &t.emit_schema;
  return nullptr;
}

Status SetTransformParam(Session& s, const sql::Expr& call) {
  if (call.args.size() < 2 || call.args.size() > 4) {
    Status st = OraErrorText(ora::kPlsqlLineColumn, "line 1, column 7:\nPLS-00306: wrong number or types of "
                                   "arguments in call to 'SET_TRANSFORM_PARAM'");
    st.AddLine("ORA-06550: line 1, column 7:");
    st.AddLine("PL/SQL: Statement ignored");
    return st;
  }
  const sql::Expr& handle = *call.args[0];
  bool session_handle = handle.kind == sql::ExprKind::kColumn &&
                        Dotted(handle.names) == "DBMS_METADATA.SESSION_TRANSFORM";
  if (!session_handle) return BadParam("", "TRANSFORM_HANDLE");
  const sql::Expr& name = *call.args[1];
  if (name.kind != sql::ExprKind::kLiteral || name.lit != sql::LiteralKind::kString)
    return BadParam("", "NAME");
  std::string pname;
  for (char c : name.text) pname += static_cast<char>(toupper(static_cast<unsigned char>(c)));
  if (pname == "DEFAULT") {
    s.transforms() = TransformParams();
    return Status::Ok();
  }
  bool* p = Param(s.transforms(), pname);
  if (p == nullptr) return BadParam(pname, "NAME");
  if (call.args.size() < 3) return BadParam("NULL", pname);
  const sql::Expr& v = *call.args[2];
  if (v.kind != sql::ExprKind::kLiteral || v.lit != sql::LiteralKind::kBoolean)
    return BadParam(v.text.empty() ? "NULL" : v.text, pname);
  *p = v.text == "TRUE";
  return Status::Ok();
}

}  // namespace

Status CallBuiltinProcedure(Session& s, const sql::Expr& call) {
  std::string name = Dotted(call.names);
  if (name == "DBMS_METADATA.SET_TRANSFORM_PARAM") return SetTransformParam(s, call);
  return NotDeclared(name);
}

Status RunPlsqlBlock(Session& s, const sql::Statement& st, std::vector<Value>* host) {
  if (st.plsql && !st.plsql->host_binds.empty()) {
    // The binds are variables declared around the block, read back after.
    const std::vector<std::string>& names = st.plsql->host_binds;
    if (!host || host->size() < names.size()) return OraError(ora::kNotAllVariablesBound);
    std::vector<pl::BlockValue> values(names.size());
    for (size_t k = 0; k < names.size(); ++k) {
      values[k].name = sql::HostBindName(k);
      values[k].v = std::move((*host)[k]);
    }
    pl::UnitRuntime rt;
    Status run = pl::RunUnitBlock(s, *st.plsql, rt, nullptr, &values, false);
    for (size_t k = 0; k < names.size(); ++k) (*host)[k] = std::move(values[k].v);
    return run;
  }
  if (st.plsql) return RunPlsqlUnit(s, *st.plsql);
  for (const sql::ExprPtr& call : st.block->calls) {
    if (!call || call->kind == sql::ExprKind::kLiteral) continue;  // NULL;
    TABDB_RETURN_IF_ERROR(CallBuiltinProcedure(s, *call));
  }
  return Status::Ok();
}

}  // namespace tabdb
