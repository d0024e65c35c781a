/*
 * parse_userid.c - splits a USERID value into user name, password and
 * connect identifier, each taken whole or refused, and asks for the
 * password when the value names none.
 */
#include <string.h>

#include "args.h"

int parse_userid(const char *v, CONN_ARGS *args, int *ask_password)
{
    /* A "/" after the first "@" belongs to the connect identifier (a path). */
    const char *slash = strchr(v, '/');
    const char *at1 = strchr(v, '@');
    if (slash && at1 && at1 < slash) slash = NULL;
    const char *at = strchr(slash ? slash + 1 : v, '@');
    const char *user_end = slash ? slash : (at ? at : v + strlen(v));

    *ask_password = 0;
    if (!slash && memchr(v, '=', (size_t)(user_end - v))) {
        /* "FILE=x" where the USERID should stand: a mistyped command line */
        fprintf(stderr, "USERID parameter format error.\n");
        return -1;
    }
    size_t ulen = (size_t)(user_end - v);
    if (ulen > sizeof(args->username) - 1) {
        fprintf(stderr, "Argument \"username\" too long.\n");
        return -1;
    }
    memcpy(args->username, v, ulen);
    args->username[ulen] = '\0';

    if (slash) {
        const char *pw = slash + 1;
        size_t plen = at ? (size_t)(at - pw) : strlen(pw);
        if (plen > sizeof(args->password) - 1) {
            fprintf(stderr, "Argument \"password\" too long.\n");
            return -1;
        }
        memcpy(args->password, pw, plen);
        args->password[plen] = '\0';
    } else {
        args->password[0] = '\0';
        *ask_password = 1;
    }
    if (at) return copy_whole(args->tnsname, sizeof(args->tnsname), at + 1, "tnsname");
    args->tnsname[0] = '\0';
    return 0;
}

int obtain_password(const RUN_OPTIONS *opts, CONN_ARGS *args)
{
    if (!opts->ask_password) return 0;
    return read_password(args->password, sizeof(args->password));
}
