/*
 * parse_command_line.c - the walk over a program's arguments that both
 * programs share: the passwords blanked in argv before anything is read,
 * parameter files expanded in place, the USERID value first, then every
 * other argument handed to the program's own keyword parser.
 */
#define _POSIX_C_SOURCE 200809L /* strdup */
#include <stdlib.h>
#include <string.h>

#include "args.h"

int parse_command_line(int argc, char **argv, RUN_OPTIONS *opts, CONN_ARGS *args,
                       int (*parse_keyword)(void *ctx, const char *arg), void *ctx)
{
    ARG_LIST l;
    int have_userid = 0, rc = 0;

    clear_run_options(opts);
    memset(args, 0, sizeof(*args));
    if (argc < 2 || !argv[1]) return -1;
    if (arg_keyword(argv[1], "HELP=Y", "help=y")) return -1;
    /* the USERID value kept, then every password in argv blanked before a
     * parameter file (perhaps a FIFO that never ends) is opened */
    char *userid = strdup(argv[1]);
    if (!userid) {
        fprintf(stderr, "Out of memory.\n");
        return -1;
    }
    hide_argv_passwords(argc, argv);
    if (read_parfiles(argc, argv, &l) != 0) {
        memset(userid, 0, strlen(userid));
        free(userid);
        return -1;
    }
    for (int i = 1; i < l.argc && rc == 0; i++) {
        const char *a = l.argv[i];
        if (i == 1 && a == argv[1]) {
            a = userid;
            /* the first word of the command line is the USERID value */
            const char *v = a;
            if (arg_keyword(a, "USERID", "userid")) {
                const char *eq = strchr(a, '=');
                if (!eq) {
                    fprintf(stderr, "USERID parameter format error.\n");
                    rc = -1;
                    break;
                }
                v = eq + 1;
            }
            rc = parse_userid(v, args, &opts->ask_password);
            have_userid = 1;
        } else if (l.from_file[i] && arg_keyword(a, "USERID=", "userid=")) {
            rc = parse_userid(a + 7, args, &opts->ask_password);
            have_userid = 1;
        } else {
            /* a second USERID on the command line reaches the keyword
             * parser blanked, so its refusal cannot show the password */
            rc = parse_keyword(ctx, a);
        }
    }
    free_arg_list(&l);
    memset(userid, 0, strlen(userid));
    free(userid);
    if (rc == 0 && !have_userid) {
        fprintf(stderr, "USERID parameter format error.\n");
        rc = -1;
    }
    return rc;
}
