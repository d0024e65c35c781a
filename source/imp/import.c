/* import.c - tabimp: command line and driver. */
#include "util.h"
int main(void) { return 0; }
