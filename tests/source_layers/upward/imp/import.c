/* import.c - another program using the first one's header. */
#include "exp_local.h"
