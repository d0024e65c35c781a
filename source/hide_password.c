/*
 * hide_password.c - blanks the passwords of USERID arguments in the
 * program's argument list, to a mask of fixed length, so that the process
 * list shows neither a password nor how long it is.
 */
#define _POSIX_C_SOURCE 200809L /* strdup */
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

/* Whether argv[i] holds a password to hide: any USERID= argument, and the
 * first one unless it is a keyword (PARFILE=x/y). */
static int holds_password(const char *arg, int i)
{
    if (arg_keyword(arg, "USERID=", "userid=")) return 1;
    if (i != 1) return 0;
    const char *eq = strchr(arg, '='), *slash = strchr(arg, '/');
    return !(eq && (!slash || eq < slash));
}

void hide_argv_passwords(int argc, char **argv)
{
    if (argc < 2 || !argv || !argv[0] || !argv[1]) return;
    /* the area the process list shows: the strings laid out one after the
     * other from argv[0], as the kernel places them */
    int last = 0, contiguous = 1;
    while (last + 1 < argc && argv[last + 1]) {
        if (argv[last + 1] != argv[last] + strlen(argv[last]) + 1) contiguous = 0;
        last++;
    }
    char *area = argv[0], *area_end = argv[last] + strlen(argv[last]) + 1;
    /* the program goes on with copies (argv[0] too, whose end the title
     * overwrites); the area then shows a title */
    if (contiguous) {
        char *name = strdup(argv[0]);
        if (name)
            argv[0] = name;
        else
            contiguous = 0;
    }
    for (int i = 1; i <= last; i++) {
        char *copy = contiguous ? strdup(argv[i]) : NULL;
        if (holds_password(argv[i], i)) hide_password(copy ? copy : argv[i]);
        if (copy) {
            argv[i] = copy;
        } else if (contiguous) {
            /* out of memory: every original blanked where it stands */
            char *p = area + strlen(area) + 1;
            for (int k = 1; k <= last && p < area_end; k++) {
                char *next = p + strlen(p) + 1;
                if (holds_password(p, k)) hide_password(p);
                p = next;
            }
            return;
        }
    }
    if (!contiguous) return; /* each argument was blanked in place */
    /* The area rewritten as one title, "prog arg arg ...", ended by a NUL
     * and filled to its last byte with blanks: with that byte not a NUL the
     * kernel shows the area only up to the title's end, so nothing tells
     * how much shorter the arguments became. */
    size_t n = strlen(argv[0]);
    char *o = area + n;
    for (int i = 1; i <= last; i++) {
        *o++ = ' ';
        size_t k = strlen(argv[i]);
        memcpy(o, argv[i], k);
        o += k;
    }
    if (o + 1 < area_end) {
        *o++ = '\0';
        memset(o, ' ', (size_t)(area_end - o));
    } else {
        /* nothing became shorter: the arguments stay NUL-separated */
        o = area + n;
        for (int i = 1; i <= last; i++) {
            *o++ = '\0';
            size_t k = strlen(argv[i]);
            memcpy(o, argv[i], k);
            o += k;
        }
        *o = '\0';
    }
}
