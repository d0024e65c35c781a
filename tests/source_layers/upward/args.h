/* args.h - a header of the common layer. */
#include "util.h"
