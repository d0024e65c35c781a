/*
 * feedback.c - progress on long tables: one dot on the log stream for
 * every FEEDBACK rows, so that a table of millions of rows shows life.
 */
#include <stdlib.h>

#include "args.h"

long long g_feedback;
int g_feedback_dots;

int parse_feedback(const char *value)
{
    char *end = NULL;
    long long n = (value[0] >= '0' && value[0] <= '9') ? strtoll(value, &end, 10) : -1;
    if (n < 0 || n > 2147483647LL || !end || *end != '\0') {
        fprintf(stderr, "FEEDBACK must be a number of rows from 0 to 2147483647: \"%s\".\n", value);
        return -1;
    }
    g_feedback = n;
    return 0;
}

void feedback_write(FILE *fp, long long before, long long after)
{
    long long dots = after / g_feedback - before / g_feedback;
    if (dots <= 0) return;
    for (long long i = 0; i < dots; i++) fputc('.', fp);
    g_feedback_dots = 1;
    fflush(fp);
}
