/*
 * parse_option.c - the keywords tabexp and tabimp both accept (HELP, FILE,
 * LOG, TABLES, FEEDBACK, CHARSET, METRICS), parsed into the run's option
 * record.
 */
#include <string.h>

#include "args.h"

/* The value of FILE or LOG: the one character after the keyword is skipped
 * unseen, unless the argument ends there. */
static const char *keyword_value(const char *arg, size_t klen)
{
    return arg[klen] == '\0' ? arg + klen : arg + klen + 1;
}

void clear_run_options(RUN_OPTIONS *opts)
{
    free_tables(&opts->tables);
    memset(opts, 0, sizeof(*opts));
}

int parse_run_option(RUN_OPTIONS *opts, const char *a)
{
    if (arg_keyword(a, "HELP=Y", "help=y")) {
        return -1;
    } else if (arg_keyword(a, "FILE", "file")) {
        return copy_whole(opts->file, sizeof(opts->file), keyword_value(a, 4), "file");
    } else if (arg_keyword(a, "LOG", "log")) {
        return copy_whole(opts->log, sizeof(opts->log), keyword_value(a, 3), "log");
    } else if (arg_keyword(a, "TABLES=", "tables=")) {
        return parse_tables(&opts->tables, a + 7);
    } else if (arg_keyword(a, "FEEDBACK=", "feedback=")) {
        return parse_feedback(&opts->feedback, a + 9);
    } else if (arg_keyword(a, "CHARSET=STRICT", "charset=strict")) {
        opts->charset_strict = 1;
        return 0;
    } else if (strcmp(a, "METRICS=Y") == 0 || strcmp(a, "metrics=y") == 0) {
        opts->metrics = 1;
        return 0;
    } else if (strcmp(a, "METRICS=N") == 0 || strcmp(a, "metrics=n") == 0) {
        opts->metrics = 0;
        return 0;
    }
    fprintf(stderr, "Invalid parameter \"%s\" specified.\n", a);
    return -1;
}

int parse_count(const char *value, int lo, int hi, int *out)
{
    long n = 0;
    const char *p = value;
    while (*p >= '0' && *p <= '9' && n <= hi) n = n * 10 + (*p++ - '0');
    if (p == value || *p != '\0' || n < lo || n > hi) return -1;
    *out = (int)n;
    return 0;
}
