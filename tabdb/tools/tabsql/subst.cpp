// subst.cpp - substitution variables and their replacement in text.
#include "subst.h"

#include <cctype>

namespace tabsql {
namespace {

std::string Upper(const std::string& s) {
  std::string u = s;
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

bool NameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#';
}

}  // namespace

void Variables::Define(const std::string& name, const std::string& value) {
  vars_[Upper(name)] = value;
}

bool Variables::Undefine(const std::string& name) { return vars_.erase(Upper(name)) > 0; }

bool Variables::Get(const std::string& name, std::string* value) const {
  auto it = vars_.find(Upper(name));
  if (it == vars_.end()) return false;
  *value = it->second;
  return true;
}

bool Variables::Substitute(const std::string& in, std::string* out, const AskFn& ask) {
  out->clear();
  if (!enabled_ || in.find(prefix_) == std::string::npos) {
    *out = in;
    return false;
  }
  bool changed = false;
  for (size_t i = 0; i < in.size();) {
    if (in[i] != prefix_) {
      *out += in[i++];
      continue;
    }
    size_t p = i + 1;
    bool keep = p < in.size() && in[p] == prefix_;
    if (keep) ++p;
    size_t e = p;
    while (e < in.size() && NameChar(in[e])) ++e;
    if (e == p) {  // a lone prefix character stays as it is
      out->append(in, i, p - i);
      i = p;
      continue;
    }
    std::string name = in.substr(p, e - p);
    std::string value;
    if (!Get(name, &value)) {
      value = ask(name);
      if (keep) Define(name, value);
    }
    *out += value;
    changed = true;
    i = e;
    if (i < in.size() && in[i] == '.') ++i;  // "&name." ends the name
  }
  return changed;
}

}  // namespace tabsql
