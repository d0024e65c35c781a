// ddl_sequence_text.cpp - DBMS_METADATA.GET_DDL('SEQUENCE'): the CREATE
// SEQUENCE text in Oracle 19c's layout. START WITH is LAST_NUMBER, as in
// Oracle: re-created from the text, the sequence never hands out a value
// again.
#include "catalog/catalog_internal.h"
#include "catalog/sequence.h"

namespace tabdb {
namespace cat {

Status SequenceDdlText(Session& s, const std::string& owner, const std::string& name,
                       std::string* out, bool* found) {
  SequenceInfo q;
  TABDB_RETURN_IF_ERROR(FindSequence(s, owner, name, &q, found));
  if (!*found) return Status::Ok();
  const TransformParams& tp = s.transforms();
  std::string text = tp.pretty ? "\n   " : "";
  text += "CREATE SEQUENCE  " + (tp.emit_schema ? Quote(owner) + "." : "") + Quote(name) + "  ";
  text += "MINVALUE " + (q.has_min ? std::to_string(q.min) : kSequenceNoMin);
  text += " MAXVALUE " + (q.has_max ? std::to_string(q.max) : kSequenceNoMax);
  text += " INCREMENT BY " + std::to_string(q.increment);
  text += " START WITH " + std::to_string(q.last_number);
  text += q.cache > 0 ? " CACHE " + std::to_string(q.cache) : " NOCACHE ";
  text += q.order ? " ORDER " : " NOORDER ";
  text += q.cycle ? " CYCLE " : " NOCYCLE ";
  text += " NOKEEP  NOSCALE  GLOBAL ";
  if (tp.sqlterminator) text += ";";
  *out = std::move(text);
  return Status::Ok();
}

}  // namespace cat
}  // namespace tabdb
