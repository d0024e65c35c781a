/*
 * feedback.c - progress on long tables: one dot on the log stream for
 * every FEEDBACK rows, so that a table of millions of rows shows life.
 */
#include <stdlib.h>

#include "args.h"

int parse_feedback(FEEDBACK *fb, const char *value)
{
    char *end = NULL;
    long long n = (value[0] >= '0' && value[0] <= '9') ? strtoll(value, &end, 10) : -1;
    if (n < 0 || n > 2147483647LL || !end || *end != '\0') {
        fprintf(stderr, "FEEDBACK must be a number of rows from 0 to 2147483647: \"%s\".\n", value);
        return -1;
    }
    fb->interval = n;
    return 0;
}

void feedback_write(FEEDBACK *fb, FILE *fp, long long before, long long after)
{
    long long dots = after / fb->interval - before / fb->interval;
    if (dots <= 0) return;
    for (long long i = 0; i < dots; i++) fputc('.', fp);
    fb->dots = 1;
    fflush(fp);
}
