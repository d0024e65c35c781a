// A lower layer reaching up: the layer check must reject this file.
#pragma once
#include "util/status.h"
#include "exec/engine.h"
