/* lexer.c - a reader file that includes the common layer above it. */
#include "args.h"
#include "util.h"
#include <stdio.h>
