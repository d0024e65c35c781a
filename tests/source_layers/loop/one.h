/* one.h - declares what one.c defines. */
#include "three.h"
