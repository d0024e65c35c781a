/* exp_local.h - a header of one program. */
#include "args.h"
