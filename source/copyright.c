/*
 * copyright.c - the start-up banner that tabexp and tabimp print on
 * standard error before they look at their arguments.
 */
#define _POSIX_C_SOURCE 200809L  /* pwrite, strnlen, open */
#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "util.h"

static const char banner[] =
    "\n"
    "Export/Import data for Oracle database.\n"
    "\n"
    "Copyright (c) 2024, 2025 the tabdump developers. All rights reserved.\n"
    "\n";

/* One write of the whole text, so that the banner never interleaves with
 * other output; a partial write goes on with the rest. */
void show_copyright(void)
{
    const char *p = banner;
    size_t left = sizeof(banner) - 1;
    while (left > 0) {
        ssize_t n = write(STDERR_FILENO, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (n == 0) return;
        p += n;
        left -= (size_t)n;
    }
}
