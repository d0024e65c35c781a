// engine_stub.cpp - placeholder until the engine lands.
#include "exec/engine.h"
#include "util/errors.h"
namespace tabdb {
Status ExecuteText(Session&, std::string_view, ExecResult*) { return OraError(3001); }
}  // namespace tabdb
