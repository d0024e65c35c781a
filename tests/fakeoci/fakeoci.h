// fakeoci.h - a test double of the OCI client library for tabimp.
//
// Implements every function of oci.h in memory: sessions always succeed,
// statements are recorded instead of run (but for the query of the
// database's character sets from NLS_DATABASE_PARAMETERS, which is answered
// with AL32UTF8 and AL16UTF16), INSERT rows are decoded from the
// caller's bind arrays (with LONG data taken piece by piece and LOBs written
// through RETURNING locators), and chosen calls can be made to fail.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fakeoci {

// One inserted row, its values in bind order (input binds only). A LOB
// column holds the id of its LOB in `lob_ids` (0 for a NULL LOB).
struct Row {
  std::string sql;
  std::vector<std::optional<std::string>> values;
  std::vector<int> lob_ids;
};

// One OCILobWrite2 call.
struct LobWrite {
  int lob_id = 0;
  int piece = 0;
  size_t len = 0;
  int csfrm = 0;
};

// One OCIStmtSetPieceInfo call for a data-at-exec bind.
struct LongPiece {
  int piece = 0;
  size_t len = 0;
  int ind = 0;
};

struct State {
  std::vector<std::string> calls;        // OCI function names, in call order
  std::vector<std::string> statements;   // texts of every executed statement
  std::vector<unsigned> insert_iters;    // iteration count of every INSERT execution
  std::vector<Row> rows;                 // rows inserted, in order
  size_t committed_rows = 0;             // rows covered by the last commit
  int commits = 0;
  std::map<int, std::string> lobs;       // LOB id -> content
  std::vector<LobWrite> lob_writes;
  std::vector<LongPiece> long_pieces;
  std::map<std::string, std::set<unsigned>> nchar_binds;  // INSERT text -> positions
  std::map<std::string, std::map<unsigned, int>> bind_types;  // INSERT text -> position -> dty
  bool text_changed = false;             // a prepared text was altered before an execution
  bool commit_with_open_lob = false;
  std::string session_user;
  std::string server;
  long live_objects = 0;                 // handles and descriptors not yet freed
};

State& state();

// Clears the recorded state and the failure rules, frees what is left.
void Reset();

// Every statement whose text contains `substr` fails at execution with
// ORA-`code` and `text`.
void FailStatement(const std::string& substr, int code, const std::string& text);

// A query whose text contains `substr`, with a bound string equal to
// `bound`, returns one row whose first column is `value`.
void AnswerQuery(const std::string& substr, const std::string& bound, const std::string& value);

// The `nth` call (counting from 1, after the last Reset) of the OCI function
// `name` returns `status` (OCI_ERROR with ORA-`code` unless given otherwise).
void FailCall(const std::string& name, int nth, int status = -1, int code = 600,
              const std::string& text = "internal error");

// Value of column `i` of `row`: the bytes, NULL, or a LOB's content.
std::optional<std::string> Value(const Row& row, size_t i);

}  // namespace fakeoci
