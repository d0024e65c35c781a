/* copyright.c - the start-up banner. */
#include "util.h"
void show_copyright(void) {}
