/*
 * args.h - the command-line helpers tabexp, tabimp and tabsql share:
 * parameter files, the USERID value and its password prompt, values taken
 * whole or refused, table selection with LIKE patterns, and progress dots.
 */
#ifndef TAB_ARGS_H
#define TAB_ARGS_H

#include <stddef.h>
#include <stdio.h>

#include "util.h"

#ifdef __cplusplus
extern "C" {
#endif

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

/* Walks the arguments: PARFILE=file replaced by its lines, the first
 * command-line argument taken as the USERID value (with or without
 * "USERID="; its password blanked in argv), USERID=... also accepted on a
 * line of a parameter file, and every other argument given to
 * parse_keyword, which returns 0 or -1 (after its message, if any). A run
 * without USERID fails. Returns 0, or -1 with the message printed; the
 * caller adds its usage text. */
int parse_command_line(int argc, char **argv, int (*parse_keyword)(const char *arg));

/* Whether arg begins with the keyword in capitals or in small letters. */
int arg_keyword(const char *arg, const char *upper, const char *lower);

/* ---- USERID ------------------------------------------------------------ */

/* Set by parse_userid when the value names no password (user or
 * user@connect): the program asks for it before it connects. */
extern int g_ask_password;

/* Splits user/password@connect, user@connect or user into g_args; every
 * part is taken whole or refused ("Argument \"username\" too long.\n" and
 * the like). A value without "/" that holds "=" is a mistyped keyword:
 * "USERID parameter format error.\n". Returns 0 or -1 (message printed). */
int parse_userid(const char *value);

/* Overwrites the password of a USERID argument in place with one '*',
 * whatever its length (the rest of the argument moves up, the bytes freed
 * are cleared), so that the process list shows neither it nor its length. */
void hide_password(char *arg);

/* When argv[1] (the USERID value) or a USERID= argument holds a password:
 * the arguments are replaced by copies blanked as above, and the area the
 * process list shows is cleared after the program's name, so that it
 * shows only the name. Called before anything else is read, parameter
 * files included; argv[1] must be copied first. */
void hide_argv_passwords(int argc, char **argv);

/* Reads a password into buf (size bytes): on the terminal after
 * "Password: " with echo off when standard input is a terminal, else one
 * line from standard input (read byte by byte, so nothing after the line
 * is consumed). Returns 0, or -1 with a message when no line arrives or it
 * does not fit. */
int read_password(char *buf, size_t size);

/* Asks for the password when the USERID had none. Returns 0 or -1. */
int obtain_password(void);

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

typedef struct __table_pattern {
    char name[32];     /* the name, upper-cased unless it was quoted */
    int quoted;        /* 1: an exact name; 0: a LIKE pattern with % and _ */
} TABLE_PATTERN;

extern TABLE_PATTERN *g_tables;   /* the TABLES list; NULL selects every table */
extern int g_ntables;

/* Parses a TABLES value: names separated by commas, optionally in
 * parentheses. Replaces an earlier list. Returns 0 or -1 (message printed). */
int parse_tables(const char *value);
void free_tables(void);

/* Whether name matches pattern as Oracle's LIKE does: % any run of
 * characters, _ exactly one character (of UTF-8), everything else itself. */
int like_match(const char *pattern, const char *name);

/* Whether the table is selected: always without TABLES. */
int table_selected(const char *name);

/* Reports every TABLES entry that matches none of the n tables, as
 * "Table \"%s\" not found in <where>.\n". Returns 0, or -1 when any
 * entry matched nothing. */
int check_selection(const TAB_INFO *tabs, int n, const char *where);
/* The same over tables 0..n-1 named by name_of, for lists that hold
 * names longer than a directory entry's. */
int check_selection_of(const char *(*name_of)(int i), int n, const char *where);

/* The SQL condition that selects the listed tables, " and (...)", in a new
 * string (an empty one without TABLES), or NULL when out of memory. */
char *table_condition(void);

/* ---- progress ---------------------------------------------------------- */

extern long long g_feedback;      /* rows per dot; 0: no dots */
extern int g_feedback_dots;       /* dots written on the current line */

/* Parses a FEEDBACK value (0 to 2^31 - 1). Returns 0 or -1 (message printed). */
int parse_feedback(const char *value);

void feedback_write(FILE *fp, long long before, long long after);

/* One dot for every multiple of g_feedback passed from before to after rows. */
static inline void feedback_rows(FILE *fp, long long before, long long after)
{
    if (g_feedback > 0) feedback_write(fp, before, after);
}

/* Ends the line of dots, if any, before a table's closing line. */
static inline void feedback_end(FILE *fp)
{
    if (g_feedback_dots) {
        fputc('\n', fp);
        g_feedback_dots = 0;
    }
}

#ifdef __cplusplus
}
#endif

#endif /* TAB_ARGS_H */
