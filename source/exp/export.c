/* export.c - tabexp: command line and driver. */
#include "util.h"
int main(void) { return 0; }
