/* two.c - includes one.h: a loop with one.c. */
#include "one.h"
#include "two.h"
