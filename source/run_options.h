/*
 * run_options.h - the record of the options tabexp and tabimp share (FILE,
 * LOG, TABLES, FEEDBACK, CHARSET, METRICS), kept in each program's run
 * record.
 */
#ifndef TAB_RUN_OPTIONS_H
#define TAB_RUN_OPTIONS_H

typedef struct __table_pattern {
    char name[32];     /* the name, upper-cased unless it was quoted */
    int quoted;        /* 1: an exact name; 0: a LIKE pattern with % and _ */
} TABLE_PATTERN;

/* The TABLES list. list NULL (n 0) selects every table. */
typedef struct __table_list {
    TABLE_PATTERN *list;
    int n;
} TABLE_LIST;

/* Progress dots: one for every `interval` rows (0: none), and whether the
 * current line of dots is still open. Whoever writes a line of dots owns
 * one, so that each output stream ends its own line. */
typedef struct __feedback {
    long long interval;
    int dots;
} FEEDBACK;

/* METRICS=Y: the round trips of the run's sessions, added as each ends. */
typedef struct __trip_total {
    long long trips;
    int unavailable;   /* a session could not read its statistic */
} TRIP_TOTAL;

/* What the keywords both programs accept set. Each parse starts from a
 * cleared record (parse_command_line clears it). */
typedef struct __run_options {
    char file[256];           /* FILE: the dump written or read */
    char log[256];            /* LOG: the copy of the run's messages; "" none */
    TABLE_LIST tables;        /* TABLES */
    FEEDBACK feedback;        /* FEEDBACK: the interval, and the main line's dots */
    int charset_strict;       /* CHARSET=STRICT: a run that would lose characters is refused */
    int ask_password;         /* the USERID named no password: asked before connecting */
    int metrics;              /* METRICS=Y: time and round trips per table and for the run */
    TRIP_TOTAL trips;         /* ... the run's round trips, as its sessions end */
} RUN_OPTIONS;

#endif /* TAB_RUN_OPTIONS_H */
