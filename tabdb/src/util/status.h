// status.h - the result of every fallible operation inside the database.
//
// A Status is either OK or carries an Oracle error: its number and its full
// text ("ORA-00942: table or view does not exist", possibly several lines
// for a stack). Nothing inside the database throws; errors travel as Status
// values up to the OCI layer, which stores them in the error handle.
#pragma once

#include <string>
#include <utility>

namespace tabdb {

class [[nodiscard]] Status {
 public:
  Status() = default;  // OK

  static Status Ok() { return Status(); }

  // An error with Oracle number `code` and complete text `text`
  // (already "ORA-NNNNN: ..."; see errors.h for building it).
  static Status Error(int code, std::string text) {
    Status s;
    s.code_ = code;
    s.text_ = std::move(text);
    return s;
  }

  bool ok() const { return code_ == 0; }
  int code() const { return code_; }
  const std::string& text() const { return text_; }

  // Appends a line to the error stack (for PL/SQL "ORA-06512: at ..." lines).
  void AddLine(const std::string& line) {
    text_ += "\n";
    text_ += line;
  }

 private:
  int code_ = 0;
  std::string text_;
};

// Propagates a failed Status to the caller.
#define TABDB_RETURN_IF_ERROR(expr)          \
  do {                                       \
    ::tabdb::Status _st = (expr);            \
    if (!_st.ok()) return _st;               \
  } while (0)

}  // namespace tabdb
