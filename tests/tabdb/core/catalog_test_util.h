// catalog_test_util.h - a database in a temporary folder with sessions on
// it, for the catalog, DDL text and dictionary tests: running DDL through
// the parser, reading catalog rows and dictionary views with plain SQLite.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/dictionary.h"
#include "exec/compiler.h"
#include "exec/sqlfunc.h"
#include "session/session.h"
#include "sql/parser.h"
#include "storage/database.h"
#include "support.h"
#include "values/number.h"

namespace cattest {

using tabdb::Database;
using tabdb::Session;
using tabdb::Status;

// A NULL cell reads as this text.
constexpr const char* kNull = "<null>";

class CatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("cat.db");
    Status st = Database::Create(path_, "manager");
    ASSERT_TRUE(st.ok()) << st.text();
    sys_ = Logon("SYSTEM", "manager");
    ASSERT_TRUE(sys_);
  }

  std::unique_ptr<Session> Logon(const std::string& user, const std::string& password) {
    std::unique_ptr<Database> d;
    Status st = Database::Open(path_, &d);
    EXPECT_TRUE(st.ok()) << st.text();
    if (!st.ok()) return nullptr;
    std::shared_ptr<Database> db(std::move(d));
    std::unique_ptr<Session> s;
    st = tabdb::OpenSession(db, user, password, &s);
    EXPECT_TRUE(st.ok()) << st.text();
    if (!st.ok()) return nullptr;
    return s;
  }

  // Parses and runs one DDL statement.
  static Status Ddl(Session& s, const std::string& text) {
    std::unique_ptr<tabdb::sql::Statement> st;
    Status ps = tabdb::sql::Parse(text, &st);
    if (!ps.ok()) return ps;
    return tabdb::ExecuteDdl(s, *st, tabdb::InferExprType);
  }

  // Runs DDL that must succeed.
  static void Run(Session& s, const std::string& text) {
    Status st = Ddl(s, text);
    ASSERT_TRUE(st.ok()) << text << "\n" << st.text();
  }

  // A user with its own session.
  std::unique_ptr<Session> NewUser(const std::string& name, bool dba = false) {
    Run(*sys_, "CREATE USER " + name + " IDENTIFIED BY pw");
    if (dba) Run(*sys_, "GRANT DBA TO " + name);
    return Logon(name, "pw");
  }

  static std::string GetDdl(Session& s, const std::string& type, const std::string& name,
                            const std::string& schema) {
    std::string out;
    Status st = tabdb::GetDdl(s, type, name, schema, &out);
    EXPECT_TRUE(st.ok()) << type << " " << schema << "." << name << ": " << st.text();
    return out;
  }

  // Rows of a query as text: NUMBER bytes decoded, NULL as kNull, cells
  // joined by '|'.
  static std::vector<std::string> Query(Session& s, const std::string& sql) {
    std::vector<std::string> rows;
    sqlite3_stmt* q = nullptr;
    int rc = sqlite3_prepare_v2(s.db().handle(), sql.c_str(), -1, &q, nullptr);
    EXPECT_EQ(rc, SQLITE_OK) << sqlite3_errmsg(s.db().handle()) << "\n" << sql;
    if (rc != SQLITE_OK) {
      sqlite3_finalize(q);
      return rows;
    }
    while (sqlite3_step(q) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(q); ++i) {
        if (i) row += "|";
        row += Cell(q, i);
      }
      rows.push_back(row);
    }
    sqlite3_finalize(q);
    return rows;
  }

  // Rows of a dictionary view, selecting `columns` from it with `where`.
  static std::vector<std::string> View(Session& s, const std::string& view,
                                       const std::string& columns, const std::string& where = "") {
    tabdb::DictionaryView v;
    Status st;
    EXPECT_TRUE(tabdb::FindDictionaryView(s, view, &v, &st)) << view;
    EXPECT_TRUE(st.ok()) << st.text();
    return Query(s, "SELECT " + columns + " FROM (" + v.sql + ")" +
                        (where.empty() ? "" : " WHERE " + where));
  }

  static std::string Cell(sqlite3_stmt* q, int i) {
    switch (sqlite3_column_type(q, i)) {
      case SQLITE_NULL:
        return kNull;
      case SQLITE_BLOB: {
        tabdb::Number n;
        const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(q, i));
        if (tabdb::Number::Decode(p, static_cast<size_t>(sqlite3_column_bytes(q, i)), &n).ok())
          return n.ToString();
        return "<blob>";
      }
      default:
        return reinterpret_cast<const char*>(sqlite3_column_text(q, i));
    }
  }

  testsupport::TempDir dir_;
  std::string path_;
  std::unique_ptr<Session> sys_;
};

}  // namespace cattest
