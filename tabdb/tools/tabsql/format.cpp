// format.cpp - printing values in the SQL shell.
#include "format.h"

namespace tabsql {

using namespace tabdb;

namespace {

std::string Hex(const std::string& b) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  out.reserve(b.size() * 2);
  for (unsigned char c : b) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

}  // namespace

Status FormatValue(Session& s, const TypeDesc& type, const Value& v, std::string* out) {
  (void)s;
  out->clear();
  if (v.null) return Status::Ok();
  if (IsCharacter(type.kind)) {
    *out = v.bytes;
  } else {
    *out = Hex(v.bytes);
  }
  return Status::Ok();
}

std::string DescribeType(const TypeDesc& t) {
  if (t.kind == TypeKind::kNumber && t.precision != kUnset && t.precision != 0 &&
      (t.scale == 0 || t.scale == kUnset)) {
    return "NUMBER(" + std::to_string(t.precision) + ")";
  }
  return DdlTypeText(t);
}

}  // namespace tabsql
