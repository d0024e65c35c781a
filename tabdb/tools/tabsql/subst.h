// subst.h - substitution variables of the SQL shell: DEFINE, UNDEFINE,
// ACCEPT, script arguments, and the replacement of &name, &&name and &1 in
// the text of statements and commands.
#pragma once

#include <functional>
#include <map>
#include <string>

namespace tabsql {

class Variables {
 public:
  // Asks for the value of an undefined variable (the shell reads a line).
  using AskFn = std::function<std::string(const std::string& name)>;

  void Define(const std::string& name, const std::string& value);
  bool Undefine(const std::string& name);
  bool Get(const std::string& name, std::string* value) const;
  const std::map<std::string, std::string>& all() const { return vars_; }

  // SET DEFINE OFF / ON / c.
  void set_prefix(char c) { prefix_ = c; }
  void set_enabled(bool on) { enabled_ = on; }

  // Replaces every &name (ended by a character that cannot be in a name,
  // or by a "." that is dropped) with the variable's value; &&name defines
  // the variable with the value it was asked for. Undefined variables are
  // asked for through `ask`. Tells whether anything was replaced.
  bool Substitute(const std::string& in, std::string* out, const AskFn& ask);

 private:
  std::map<std::string, std::string> vars_;  // names upper-cased
  char prefix_ = '&';
  bool enabled_ = true;
};

}  // namespace tabsql
