// A higher layer using the one below it: allowed.
#pragma once
#include "storage/database.h"
#include <string>
