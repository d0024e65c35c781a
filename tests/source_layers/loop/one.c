/* one.c - includes two.h, whose file includes one.h. */
#include "one.h"
#include "two.h"
