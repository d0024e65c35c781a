/*
 * hide_password.c - blanks the password of a USERID argument in the
 * program's argument list, so that the process list no longer shows it.
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
    for (p++; *p && *p != '@'; p++) *p = '*';
}
