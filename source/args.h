/*
 * args.h - the command line tabexp and tabimp share: the record of the
 * options both accept and their parser, parameter files, the USERID value,
 * values taken whole or refused, table selection with LIKE patterns, and
 * progress dots.
 */
#ifndef TAB_ARGS_H
#define TAB_ARGS_H

#include <stddef.h>
#include <stdio.h>

#include "prompt.h"
#include "util.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- the options both programs share ----------------------------------- */

/* One argument (from the second on) that both programs accept: HELP=Y,
 * FILE, LOG, TABLES=, FEEDBACK=, CHARSET=STRICT, in capitals or in small
 * letters. Anything else is refused with "Invalid parameter \"<arg>\"
 * specified.\n"; HELP=Y returns -1 without a message (the caller shows its
 * usage). A program hands over every argument its own keywords do not
 * take. Returns 0 or -1 (message printed). */
int parse_run_option(RUN_OPTIONS *opts, const char *arg);

/* A count of lo to hi written in decimal digits only (leading zeros
 * allowed): 0 with *out set, or -1 without a message (the caller names
 * its keyword). */
int parse_count(const char *value, int lo, int hi, int *out);

/* Frees what the record holds and clears it. */
void clear_run_options(RUN_OPTIONS *opts);

/* ---- parameter files --------------------------------------------------- */

/* The arguments of a run after every PARFILE=file has been replaced by the
 * lines of its file, in place, so that later arguments win over earlier
 * ones whichever side they come from. from_file[i] is 1 for an argument
 * read from a file; argv[0] is the program's name. */
typedef struct __arg_list {
    int argc;
    char **argv;
    char *from_file;
    char *text;        /* the lines of the files, owned */
} ARG_LIST;

#define PARFILE_LINE_MAX 4096   /* longest line of a parameter file */

/* Builds the list from the command line. A PARFILE argument inside a
 * parameter file, a missing or unreadable file, a line longer than
 * PARFILE_LINE_MAX or holding a NUL byte fail with a message on stderr.
 * Lines are stripped of surrounding blanks; empty lines and lines starting
 * with '#' are left out. Returns 0 or -1 (the list is empty then). */
int read_parfiles(int argc, char **argv, ARG_LIST *list);
void free_arg_list(ARG_LIST *list);

/* Walks the arguments into a cleared opts and *args: PARFILE=file replaced
 * by its lines, the first command-line argument taken as the USERID value
 * (with or without "USERID="; its password blanked in argv), USERID=...
 * also accepted on a line of a parameter file, and every other argument
 * given to parse_keyword with ctx, which returns 0 or -1 (after its
 * message, if any); it hands what it does not know to parse_run_option.
 * A run without USERID fails. Returns 0, or -1 with the message printed;
 * the caller adds its usage text. */
int parse_command_line(int argc, char **argv, RUN_OPTIONS *opts, CONN_ARGS *args,
                       int (*parse_keyword)(void *ctx, const char *arg), void *ctx);

/* Whether arg begins with the keyword in capitals or in small letters. */
int arg_keyword(const char *arg, const char *upper, const char *lower);

/* ---- USERID ------------------------------------------------------------ */

/* Splits user/password@connect, user@connect or user into *args; every
 * part is taken whole or refused ("Argument \"username\" too long.\n" and
 * the like). A value without "/" that holds "=" is a mistyped keyword:
 * "USERID parameter format error.\n". *ask_password becomes 1 when the
 * value names no password (user or user@connect). Returns 0 or -1
 * (message printed). */
int parse_userid(const char *value, CONN_ARGS *args, int *ask_password);

/* Asks for args' password when the USERID had none. Returns 0 or -1. */
int obtain_password(const RUN_OPTIONS *opts, CONN_ARGS *args);

/* ---- whole values ------------------------------------------------------ */

/* Copies src into dst of size bytes, or refuses a longer value with
 * "Argument \"<what>\" too long.\n". Returns 0 or -1. */
int copy_whole(char *dst, size_t size, const char *src, const char *what);

/* A name of len bytes at v: in double quotes it keeps its case, otherwise
 * a-z are turned into capitals. Puts it into dst (32 bytes) and *quoted.
 * Returns 0; -1 when it is longer than 31 bytes or its quote is not
 * closed; -2 when characters follow the closing quote. */
int take_name(const char *v, size_t len, char *dst, int *quoted);

/* An OWNER or TOUSER value v of the argument arg into dst (32 bytes), with
 * "Owner argument too large.\n" or a message about characters after the
 * closing quote on refusal. Returns 0 or -1. */
int take_owner(const char *arg, const char *v, char *dst);

/* ---- table selection --------------------------------------------------- */

/* Parses a TABLES value into *t: names separated by commas, optionally in
 * parentheses. Replaces an earlier list. Returns 0 or -1 (message printed,
 * *t left empty). */
int parse_tables(TABLE_LIST *t, const char *value);
void free_tables(TABLE_LIST *t);

/* Whether name matches pattern as Oracle's LIKE does: % any run of
 * characters, _ exactly one character (of UTF-8), everything else itself. */
int like_match(const char *pattern, const char *name);

/* Whether the table is selected by t: always when t lists nothing. */
int table_selected(const TABLE_LIST *t, const char *name);

/* Reports every entry of t that matches none of the n tables, as
 * "Table \"%s\" not found in <where>.\n". Returns 0, or -1 when any
 * entry matched nothing. */
int check_selection(const TABLE_LIST *t, const TAB_INFO *tabs, int n, const char *where);
/* The same over tables 0..n-1 named by name_of(ctx, i), for lists that
 * hold names longer than a directory entry's. */
int check_selection_of(const TABLE_LIST *t, const char *(*name_of)(void *ctx, int i), void *ctx,
                       int n, const char *where);

/* The SQL condition that selects the tables of t, " and (...)", in a new
 * string (an empty one when t lists nothing), or NULL when out of memory. */
char *table_condition(const TABLE_LIST *t);

/* ---- progress ---------------------------------------------------------- */

/* Parses a FEEDBACK value (0 to 2^31 - 1) into fb->interval. Returns 0 or
 * -1 (message printed). */
int parse_feedback(FEEDBACK *fb, const char *value);

void feedback_write(FEEDBACK *fb, FILE *fp, long long before, long long after);

/* One dot for every multiple of fb->interval passed from before to after rows. */
static inline void feedback_rows(FEEDBACK *fb, FILE *fp, long long before, long long after)
{
    if (fb->interval > 0) feedback_write(fb, fp, before, after);
}

/* Ends fb's line of dots, if any, before a table's closing line. */
static inline void feedback_end(FEEDBACK *fb, FILE *fp)
{
    if (fb->dots) {
        fputc('\n', fp);
        fb->dots = 0;
    }
}

#ifdef __cplusplus
}
#endif

#endif /* TAB_ARGS_H */
