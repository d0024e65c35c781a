/*
 * parse_userid.c - splits a USERID value into user name, password and
 * connect identifier, each taken whole or refused, and asks for the
 * password when the value names none.
 */
#include <string.h>

#include "args.h"

int g_ask_password;

int parse_userid(const char *v)
{
    /* A "/" after the first "@" belongs to the connect identifier (a path). */
    const char *slash = strchr(v, '/');
    const char *at1 = strchr(v, '@');
    if (slash && at1 && at1 < slash) slash = NULL;
    const char *at = strchr(slash ? slash + 1 : v, '@');
    const char *user_end = slash ? slash : (at ? at : v + strlen(v));

    g_ask_password = 0;
    if (!slash && memchr(v, '=', (size_t)(user_end - v))) {
        /* "FILE=x" where the USERID should stand: a mistyped command line */
        fprintf(stderr, "USERID parameter format error.\n");
        return -1;
    }
    size_t ulen = (size_t)(user_end - v);
    if (ulen > sizeof(g_args.username) - 1) {
        fprintf(stderr, "Argument \"username\" too long.\n");
        return -1;
    }
    memcpy(g_args.username, v, ulen);
    g_args.username[ulen] = '\0';

    if (slash) {
        const char *pw = slash + 1;
        size_t plen = at ? (size_t)(at - pw) : strlen(pw);
        if (plen > sizeof(g_args.password) - 1) {
            fprintf(stderr, "Argument \"password\" too long.\n");
            return -1;
        }
        memcpy(g_args.password, pw, plen);
        g_args.password[plen] = '\0';
    } else {
        g_args.password[0] = '\0';
        g_ask_password = 1;
    }
    if (at) return copy_whole(g_args.tnsname, sizeof(g_args.tnsname), at + 1, "tnsname");
    g_args.tnsname[0] = '\0';
    return 0;
}

int obtain_password(void)
{
    if (!g_ask_password) return 0;
    return read_password(g_args.password, sizeof(g_args.password));
}
