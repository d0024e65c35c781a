/*
 * hide_password.c - blanks the passwords of USERID arguments in the
 * program's argument list, so that the process list shows neither a
 * password nor how long it is.
 */
#define _POSIX_C_SOURCE 200809L /* strdup */
#include <stdlib.h>
#include <string.h>

#include "prompt.h"

/* Whether arg begins with the keyword in capitals or in small letters. */
static int starts_with(const char *arg, const char *upper, const char *lower)
{
    size_t n = strlen(upper);
    return strncmp(arg, upper, n) == 0 || strncmp(arg, lower, n) == 0;
}

void hide_password(char *arg)
{
    if (starts_with(arg, "USERID", "userid")) {
        char *eq = strchr(arg, '=');
        if (!eq) return;
        arg = eq + 1;
    }
    char *p = strchr(arg, '/');
    char *at = strchr(arg, '@');
    if (!p || (at && at < p)) return;
    p++;
    char *end = p + strlen(p);
    char *rest = at ? at : end;
    if (rest == p) return; /* no password: nothing to hide */
    /* One '*' whatever the length, the connect part moved up behind it and
     * the bytes freed cleared. */
    size_t keep = strlen(rest);
    *p = '*';
    memmove(p + 1, rest, keep);
    memset(p + 1 + keep, 0, (size_t)(end - (p + 1 + keep)));
}

/* Whether argv[i] holds a password to hide: any USERID= argument, and the
 * first one unless it is a keyword (PARFILE=x/y). */
static int holds_password(const char *arg, int i)
{
    if (starts_with(arg, "USERID=", "userid=")) return 1;
    if (i != 1) return 0;
    const char *eq = strchr(arg, '='), *slash = strchr(arg, '/');
    return !(eq && (!slash || eq < slash));
}

/* The copies the arguments continue as, kept here (one run at a time:
 * the copies of an earlier run in the same process are released). */
static char **g_argv_copies;
static int g_argv_ncopies;

static void release_copies(void)
{
    for (int i = 0; i < g_argv_ncopies; i++) free(g_argv_copies[i]);
    free(g_argv_copies);
    g_argv_copies = NULL;
    g_argv_ncopies = 0;
}

void hide_argv_passwords(int argc, char **argv)
{
    release_copies();
    if (argc < 2 || !argv || !argv[0] || !argv[1]) return;
    int last = 0, contiguous = 1, secret = 0;
    while (last + 1 < argc && argv[last + 1]) {
        if (argv[last + 1] != argv[last] + strlen(argv[last]) + 1) contiguous = 0;
        last++;
        if (holds_password(argv[last], last) && strchr(argv[last], '/')) secret = 1;
    }
    if (!secret) return;
    /* the area the process list shows: argv[0] to the end of the last
     * argument, laid out one after the other as the kernel places them */
    char *name_end = argv[0] + strlen(argv[0]);
    char *area_end = argv[last] + strlen(argv[last]) + 1;
    /* The program goes on with blanked copies of its arguments; without
     * the kernel's layout or the memory for them, each argument is blanked
     * where it stands. */
    g_argv_copies = contiguous ? calloc((size_t)last, sizeof(char *)) : NULL;
    for (int i = 1; g_argv_copies && i <= last; i++) {
        char *copy = strdup(argv[i]);
        if (!copy) {
            release_copies();
            break;
        }
        g_argv_copies[g_argv_ncopies++] = copy;
    }
    if (!g_argv_copies) {
        for (int i = 1; i <= last; i++)
            if (holds_password(argv[i], i)) hide_password(argv[i]);
        return;
    }
    for (int i = 1; i <= last; i++) {
        argv[i] = g_argv_copies[i - 1];
        if (holds_password(argv[i], i)) hide_password(argv[i]);
    }
    /* The rest of the area after the program's name is cleared to blanks
     * up to its last byte. With that byte not a NUL the kernel shows the
     * area only up to the name's NUL: nothing of a password, nor of how
     * long it was. */
    if (name_end + 1 < area_end) memset(name_end + 1, ' ', (size_t)(area_end - name_end - 1));
}
