// sqlfunc_stub.cpp - placeholder until the SQL functions land.
#include "exec/sqlfunc.h"
namespace tabdb {
int RegisterSqlFunctions(sqlite3*, Session*) { return SQLITE_OK; }
}  // namespace tabdb
