/* three.c - below both, in no loop. */
#include "three.h"
