/*
 * hide_password.c - blanks the passwords of USERID arguments in the
 * program's argument list, to a mask of fixed length, so that the process
 * list shows neither a password nor how long it is.
 */
#include <string.h>

#include "args.h"

void hide_password(char *arg)
{
    if (arg_keyword(arg, "USERID", "userid")) {
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

void hide_argv_passwords(int argc, char **argv)
{
    if (argc < 2 || !argv || !argv[1]) return;
    /* the area the process list shows: the strings laid out one after the
     * other, as the kernel places them */
    int contiguous = 1;
    for (int i = 1; i + 1 < argc && argv[i + 1]; i++)
        if (argv[i + 1] != argv[i] + strlen(argv[i]) + 1) contiguous = 0;
    char *area_end = NULL;
    if (contiguous) {
        int last = argc - 1;
        while (last > 1 && !argv[last]) last--;
        area_end = argv[last] + strlen(argv[last]) + 1;
    }
    for (int i = 1; i < argc && argv[i]; i++) {
        if (arg_keyword(argv[i], "USERID=", "userid=")) {
            hide_password(argv[i]);
        } else if (i == 1) {
            /* the USERID value itself, unless it is a keyword (PARFILE=x/y) */
            const char *eq = strchr(argv[i], '='), *slash = strchr(argv[i], '/');
            if (!(eq && (!slash || eq < slash))) hide_password(argv[i]);
        }
    }
    if (!contiguous) return;
    /* close the gaps the masks left, so that no run of NULs tells the
     * length either; the freed tail is cleared */
    char *to = argv[1] + strlen(argv[1]) + 1;
    for (int i = 2; i < argc && argv[i]; i++) {
        size_t n = strlen(argv[i]) + 1;
        if (to != argv[i]) memmove(to, argv[i], n);
        argv[i] = to;
        to += n;
    }
    if (to < area_end) memset(to, 0, (size_t)(area_end - to));
}
