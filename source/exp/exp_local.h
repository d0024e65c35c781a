/*
 * exp_local.h - helpers shared by the operations of tabexp only: quoting of
 * names inside SQL, byte appends into the write cache, whole writes to the
 * dump file, and the DDL rewrites that drop the owner's qualifier.
 */
#ifndef TAB_EXP_LOCAL_H
#define TAB_EXP_LOCAL_H

#include <stddef.h>
#include <stdint.h>

#include <assert.h>

#include "util.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A name of at most 128 bytes with every quote doubled, plus its NUL. */
#define ESC_NAME_SIZE 264

/* Width of a name column read from the dictionary: 128 bytes, its NUL,
 * and room to tell a longer one by its cut. */
#define LONG_NAME_WIDTH 132

/* Width of the text of a view or a unit of stored code read from the
 * dictionary: the longest statement the dump's trailer carries, and its
 * NUL. */
#define DICT_CODE_WIDTH (16u * 1024u * 1024u + 1u)

/* Bytes that must be free in the cache before a stream piece: the length
 * word, one piece and the word after it. */
#define EXP_PIECE_ROOM (2 + DUMP_PIECE_SIZE + 2)

/* After a row with LOB or LONG streams, the cache is written out once it
 * holds this much: its bytes, just placed there, are still in the
 * processor's caches when the system copies them (a full 2 MB cache of
 * streams is not). */
#ifndef EXP_STREAM_FLUSH
#define EXP_STREAM_FLUSH (256 * 1024)
#endif

#ifndef __cplusplus
_Static_assert(sizeof(((EXP_WORKER *)0)->identity_col) == ESC_NAME_SIZE + 2,
               "an identity column's quoted name fits");
#endif

/* A worker's write cache and row area are within their bounds: checked
 * at each transition of the cache (a flush, a table's start and end). */
#define EXP_ASSERT_CACHE(w)                                                          \
    do {                                                                             \
        assert((w)->ctail >= 0 && (w)->ctail <= (w)->csz);                           \
        assert((w)->csz > 0 && (w)->rsz >= 0 && (w)->rsz <= EXP_ROW_AREA);           \
        assert((w)->cache != NULL);                                                  \
        assert((w)->rbuf >= (w)->buf && (w)->rbuf + (w)->rsz <= (w)->buf + EXP_ROW_AREA); \
        assert((w)->part_start <= (w)->data_ofs + (uint64_t)(w)->ctail || !(w)->summing); \
    } while (0)

/* Whether the worker is to stop: a signal asked the run to, or another
 * worker of a parallel run failed. The caller reports a signal; a stop
 * because of another worker is not reported again. */
int worker_stopped(const EXP_WORKER *w);

/* Prepares a worker record: buffers and checksum state, no session yet.
 * Returns 0 or -1 (message printed); worker_close releases what it got. */
int worker_open(EXP_WORKER *w, EXP_RUN *run, int id);
/* Ends the worker's session and frees its buffers; removes its spill file.
 * Safe in every state. */
void worker_close(EXP_WORKER *w);

/* The run's lock around what workers share (no-op in a serial run). */
void run_lock(EXP_RUN *run);
void run_unlock(EXP_RUN *run);
/* With the lock held: waits until another thread has changed what the
 * lock guards (run_wake), or a short while (no-op in a serial run). */
void run_wait(EXP_RUN *run);
void run_wake(EXP_RUN *run);

/* Writes the progress line of the worker's finished table (fmt takes the
 * name and the row count), whole, under the run's lock. */
void table_done_line(EXP_WORKER *w, const char *fmt);
/* Writes a table's line: fmt (one %s for the name, one %d for the rows,
 * ending in a newline) with `metrics` (METRICS=Y, else "") before the
 * newline. The caller holds the run's lock in a parallel run. */
void print_table_line(FILE *ofp, const char *fmt, const char *name, int rows, const char *metrics);

/* Reads the system change number of the newest commit into run->scn,
 * before any other read of the run: the coordinator and every worker then
 * read the dictionary and the rows at that one commit (flashback).
 * Returns 0 or -1 (message printed). */
int take_snapshot_scn(EXP_WORKER *w);

/* Puts the worker's session on run->scn (flashback) before it reads
 * anything. Returns 0 or -1 (message printed). */
int enable_snapshot(EXP_WORKER *w);

/* Exports the tables through run->parallel worker sessions, each reading
 * the coordinator's snapshot, and copies their sections into the dump in
 * directory order after the header written by the coordinator's worker.
 * Returns 0 or -1 (message printed; every worker stopped, spill files
 * removed). */
int export_parallel(EXP_RUN *run);

/* Whether the rows of table tab go in array fetches (prepare_select.c):
 * always for a table without LOB or LONG columns; for the others unless
 * they come one at a time (a LONG table read without the snapshot,
 * CONSISTENT=N, or the test builds' TAB_TEST_ROW_AT_A_TIME). */
int rows_in_arrays(const EXP_WORKER *w, const EXP_TABLE *tab);

/* Fetches the remaining rows of the table's open query one at a time and
 * writes them with their streams, the LONG value fetched in pieces
 * (single_export.c). 0 or -1 (message printed). */
int export_rows_alone(EXP_WORKER *w, EXP_TABLE *tab);

/* Ends the rows of the table being read: the end mark, the row count and
 * the progress line (fmt takes the name and the row count). When the rows
 * were one ROWID range of the table (w->range), the table's end comes
 * after its last range instead and only the line's format is kept.
 * Returns 0 or -1 (message printed). */
int end_table_rows(EXP_WORKER *w, EXP_TABLE *tab, const char *fmt);

/* Fails the table when the last fetch cut a value of row `row` to fit its
 * buffer (return code 1406 with a length indicator), so that nothing cut
 * is ever written as if whole. Returns 0 or -1 (message printed). */
int check_cut_values(EXP_WORKER *w, EXP_TABLE *tab, ub4 row);


/* pwrite_all: write_cache.h; build_head_block: write_head.h; the section
 * checksums and the trailer: write_trailer.h. */

/* Rewrites a DDL text fetched at cache + 2 into a schema-free text block at
 * the start of the cache: sets the length word and ctail. `kind` is
 * 'T' (CREATE TABLE), 'I' (CREATE INDEX) or 'C' (ALTER TABLE ... for a
 * constraint). Returns 0, or -1 after printing the operation's message. */
int rewrite_ddl(EXP_WORKER *w, int kind, const EXP_TABLE *tab);
/* Rewrites the index ('I') or key ('C') text fetched at cache + 2, puts it
 * through the import's allow-list (`what` names it in a warning when it is
 * left out) and writes it. 0 or -1 (message printed). */
int put_fetched_ddl(EXP_WORKER *w, EXP_TABLE *tab, int kind, const char *what);

/* Runs a DBMS_METADATA set-up block whose one %s takes TRUE or FALSE
 * according to STORAGE=Y. Returns 0 or -1 (message printed). */
int run_transform_block(EXP_WORKER *w, const char *fmt);

/* Prepares the query in sqltxt and defines its one column as text at
 * cache + 2, then executes it. Returns 0 or -1 (message printed). */
int open_ddl_query(EXP_WORKER *w, const char *sqltxt, ub2 *alen);
int open_table_ddl_query(EXP_WORKER *w, const char *sqltxt, ub2 *alen, const EXP_TABLE *tab);
int bind_owner_table(EXP_WORKER *w, const EXP_TABLE *tab);

/* Executes the prepared statement iters times (0 for a query). A warning
 * is printed and the run goes on; a failure prints "OCIStmtExecute()" and
 * the Oracle message. Returns 0 or -1. */
int execute_statement(EXP_WORKER *w, ub4 iters);

/* Fetches up to nrows rows and stores in *got how many arrived, never more
 * than nrows. Returns check_error's result for the fetch (0, 1, 99 or 100),
 * or -1 with the message printed. */
int fetch_rows(EXP_WORKER *w, ub4 nrows, ub4 *got);

/* Copies src into dst (dsz bytes) with every `quote` character doubled, so
 * that the result may stand between two such quotes in SQL. Returns the
 * length written, or -1 (dst holds an empty string) if it does not fit. */
static inline int sql_escape(char *dst, size_t dsz, const char *src, char quote)
{
    size_t n = 0;
    for (; *src; src++) {
        size_t need = (*src == quote) ? 2 : 1;
        if (n + need >= dsz) {
            if (dsz > 0) dst[0] = '\0';
            return -1;
        }
        dst[n++] = *src;
        if (*src == quote) dst[n++] = quote;
    }
    if (dsz == 0) return -1;
    dst[n] = '\0';
    return (int)n;
}

/* Rounds a pointer up to the next multiple of 8. */
static inline uint8_t *align8(uint8_t *p)
{
    return (uint8_t *)(((uintptr_t)p + 7u) & ~(uintptr_t)7u);
}

/* Appends one big-endian word at the cache's end. The caller has made room. */
static inline void cache_put16(EXP_WORKER *w, uint16_t v)
{
    assert(w->ctail + 2 <= w->csz);
    put_be16(w->cache + w->ctail, v);
    w->ctail += 2;
}

/* Makes room for n bytes in the cache, writing it out when they would not
 * fit. Returns 0 or -1 (message printed by write_cache). */
static inline int cache_room(EXP_WORKER *w, int n)
{
    if (w->ctail + n > w->csz) return write_cache(w);
    return 0;
}


/* ---- what the schema holds besides tables, indexes and primary keys ------ */

/* Places of a gathered statement. Per-table statements stand in the
 * table's statement list after its indexes and primary key, in this
 * order; deferred ones in the trailer's list, in this order, which always
 * works: a sequence before the defaults and code that use it, every table
 * before any foreign key, views after the tables and in dependency order,
 * code after the objects it names, grants on everything created before. */
enum {
    OBJ_NOT_NULL = 1,  /* ALTER TABLE MODIFY (c NOT NULL), when the table text lacks it */
    OBJ_KEY_CHECK,     /* UNIQUE and CHECK constraints */
    OBJ_COMMENT,       /* table and column comments */
    OBJ_SEQUENCE = 10, /* deferred from here on */
    OBJ_FOREIGN_KEY,
    OBJ_VIEW,          /* views, then the comments on them */
    OBJ_MVIEW,         /* materialized view logs, then the views (and refresh calls) */
    OBJ_DIMENSION,
    OBJ_SYNONYM,
    OBJ_CODE,
    OBJ_GRANT
};

typedef struct __obj_stmt {
    int ti;            /* index of the table of a per-table statement; -1 deferred */
    int order;         /* OBJ_... */
    uint32_t seq;      /* gathering order within the same table and place */
    uint32_t len;
    char *text;        /* owner-free statement, NUL-terminated */
    char *column;      /* OBJ_NOT_NULL: the column's quoted name ("C") */
    uint16_t rec_kind; /* 0 a statement; else a trailer record (DUMP_REC_GRANT,
                          DUMP_REC_COMMENT) whose payload text holds */
} OBJ_STMT;

/* A warning of the run: its line (without line end), and where it stands
 * in the trailer: warnings of the gathering first, then those of each
 * table in directory order, each group in the order it arose. A parallel
 * run so keeps the order of a serial one. */
typedef struct __exp_warning {
    char *line;
    int table;         /* index of the table being exported; -1 gathering */
    int seq;
} EXP_WARNING;

/* Sorts the warnings into their trailer order. */
void sort_warnings(EXP_RUN *run);

/* Adds a copy of text[0..len) at place `order` of table tab (NULL: the
 * deferred list); column is kept for OBJ_NOT_NULL. A table's statement
 * longer than a text block, or a deferred one longer than a trailer
 * record, is not added: a warning names kind and name instead. Returns
 * 0 or -1 (out of memory, message printed). */
int add_object(EXP_WORKER *w, EXP_TABLE *tab, int order, const char *text, size_t len, const char *column,
               const char *kind, const char *name);

/* Adds a GRANT or COMMENT record of the deferred list at place `order`:
 * tabimp writes the statement itself from its fields. 0 or -1 (out of
 * memory, message printed). */
int add_record(EXP_RUN *run, int order, uint16_t rec_kind, const uint8_t *payload, size_t len);

/* Puts a statement about to be written through the import's allow-list:
 * at place ti's list (-1: the deferred list). Returns 1 when it may be
 * written; 0 when it is refused, after a warning naming kind and name
 * (the name taken from the text when NULL); -1 out of memory. */
int check_written_statement(EXP_WORKER *w, const EXP_TABLE *tab, const char *text, size_t len, const char *kind,
                            const char *name);

/* Prints "Warning: <kind> "<name>" not exported: <reason>." on standard
 * output, and in the log when there is one, and keeps the line for the
 * dump. Returns 0 or -1 (out of memory). */
int warn_object(EXP_WORKER *w, const char *kind, const char *name, const char *reason);

/* Sorts the gathered statements; index of the first one of table ti (or
 * of the deferred list, ti -1) and the end of that run. */
void sort_objects(EXP_RUN *run);
int objects_of(const EXP_RUN *run, int ti, int *end);
void free_objects(EXP_RUN *run);

/* Tables whose names do not fit the 31 bytes of a directory entry stand
 * after the others in the table list, from run->nlisted on; their entries
 * have an empty tab_name and long_name holds their names. The directory
 * holds the first nlisted tables; the trailer carries the rest. */
int listed_tables(const EXP_RUN *run);

/* The name of a table, whichever kind. */
const char *exp_table_name(const EXP_TABLE *tab);

/* Adds a table whose name is longer than 31 bytes at the end of the
 * list; called after the list of the others is complete. 0 or -1. */
int add_long_table(EXP_RUN *run, const char *name);

/* Prints a warning line, "Warning: " and text, as warn_object does, keeps
 * it for the dump and counts it in the run's outcome: something was not
 * carried. Returns 0 or -1 (out of memory). */
int keep_warning(EXP_WORKER *w, const char *text);

/* Prints "Warning: " and text the same way, for something carried that a
 * reader should know (neither kept in the dump nor counted). */
void note_line(EXP_RUN *run, const char *text);

/* The exported table of that exact name, or NULL; forget_table_names
 * drops the lookup after the list has changed. The lookup is built on the
 * first call; a parallel run builds it before its workers start, after
 * which it is only read. */
EXP_TABLE *find_table(EXP_RUN *run, const char *name);
void forget_table_names(EXP_RUN *run);

/* Refuses an OWNER that names no user, or another user's schema when the
 * session may not read the DBA_ views. Returns 0 or -1 (message printed). */
int check_owner(EXP_WORKER *w);

/* Takes the tables the dump cannot carry out of the list, each named in a
 * warning. Returns 0 or -1 (message printed). */
int drop_uncarried_tables(EXP_WORKER *w);

/* Gathers, with one dictionary query per kind for the whole schema, the
 * statements and warnings of everything the dump carries besides tables,
 * indexes and primary keys. Returns 0 or -1 (message printed). */
int gather_objects(EXP_WORKER *w);
int gather_constraints(EXP_WORKER *w);
int gather_comments(EXP_WORKER *w);
int gather_sequences(EXP_WORKER *w);
int gather_foreign_keys(EXP_WORKER *w);
int gather_views(EXP_WORKER *w);
/* The materialized views and their logs (gather_mviews.c). */
int gather_mviews(EXP_WORKER *w);
int gather_synonyms(EXP_WORKER *w);
/* The dimensions, DBMS_METADATA's text of each (gather_dimensions.c). */
int gather_dimensions(EXP_WORKER *w);
int gather_code(EXP_WORKER *w);
int gather_grants(EXP_WORKER *w);
int gather_uncarried(EXP_WORKER *w);

/* Whether gather_views gathered the view of that exact name; forget_views
 * drops the list. */
int view_exported(const EXP_RUN *run, const char *name);
void forget_views(EXP_RUN *run);

/* Adds COMMENT ON TABLE "T" IS '...' (column NULL) or COMMENT ON COLUMN
 * "T"."C" IS '...' at place order of table tab (NULL: the deferred list).
 * Returns 0 or -1. */
int add_comment(EXP_WORKER *w, EXP_TABLE *tab, int order, const char *table, const char *column, const char *comment);

/* Whether the run exports the whole schema (no TABLES list): the
 * schema-level kinds go only into such a dump. */
int full_export(const EXP_RUN *run);

/* ---- dictionary queries with several text columns ----------------------- */

#define DICT_MAX_COLS 8
/* Define buffers of one dictionary query: rows per fetch are what fits
 * (about 250 rows of an 8 KiB DDL text, as dict_each_ddl reads them). */
#define DICT_FETCH_BYTES (2u * 1024u * 1024u)
#define DICT_FETCH_ROWS 256u

typedef struct __dict_query {
    EXP_WORKER *w;              /* the session it runs on */
    int ncol;
    ub4 width[DICT_MAX_COLS];
    char *val[DICT_MAX_COLS];   /* NUL-terminated text of the current row */
    sb2 ind[DICT_MAX_COLS];     /* -1: NULL (val is then "") */
    ub2 len[DICT_MAX_COLS];
    ub2 rcode[DICT_MAX_COLS];   /* 1406: the value was cut to its width */
    /* The rows of one fetch: `rows` of them in arrays per column. */
    ub4 rows, got, cur;
    int ended;                  /* the last fetch reached the end */
    char *vals[DICT_MAX_COLS];
    sb2 *inds[DICT_MAX_COLS];
    ub2 *lens[DICT_MAX_COLS];
    ub2 *rcodes[DICT_MAX_COLS];
    uint8_t *mem;
} DICT_QUERY;

/* Prepares sqltxt, defines ncol text columns of the given widths (bytes,
 * NUL included) and executes it; rows come in arrays of as many as
 * DICT_FETCH_BYTES hold (prefetched with the execute when the server
 * may). Returns 0; 1 when the server has no such
 * dictionary view or column (ORA-00942, ORA-00904: an older release, or a
 * database without that kind of object), with nothing printed; or -1 with
 * the message printed. */
int dict_open(EXP_WORKER *w, DICT_QUERY *q, const char *sqltxt, int ncol, const ub4 *widths);
/* Fetches the next row: 1 a row, 0 the end, -1 failure (message printed). */
int dict_next(DICT_QUERY *q);
void dict_close(DICT_QUERY *q);

/* Runs bulk_sql, whose last column is DBMS_METADATA's text of the object
 * named in column name_col, and hands every row to fn. The bulk query
 * reads texts in buffers of 8 KiB; a longer one is read again alone at
 * its width in `widths` and handed to fn in its place. When the server
 * fails the query over one object's text, the names are read again with
 * list_sql (the same query without that column, in the same order) and
 * each remaining text alone (GET_DDL of `type`); an object whose text the
 * server refuses is named in a warning (kind) and the rest go on.
 * Returns 0 (also when the dictionary lacks the view), or -1. */
int dict_each_ddl(EXP_WORKER *w, const char *bulk_sql, const char *list_sql, int ncol, const ub4 *widths,
                  const char *type, int name_col, const char *kind,
                  int (*fn)(DICT_QUERY *q, void *ctx), void *ctx);

/* The text of column col of the current row made owner-free (strip_owner
 * with bare), without its `CONSTRAINT "name"` when system_named. NULL when
 * the text was cut to its width (a warning names kind and name; *rc 0 or
 * -1) or memory ran out (*rc -1, message printed). */
char *dict_text(const DICT_QUERY *q, int col, int bare, const char *kind, const char *name,
                int system_named, size_t *len, int *rc);

/* ---- statement texts ------------------------------------------------------ */

/* A copy of text[0..len) without its leading blanks and without the
 * qualifier of schema `owner` wherever it names an object: every "OWNER".
 * outside string literals and, with bare set, also the unquoted OWNER.
 * (any case) outside literals and quoted names, as view and code texts
 * may write it. NULL when out of memory. */
char *strip_owner(const char *owner, const char *text, size_t len, int bare, size_t *outlen);

/* The column items of a CREATE TABLE text: calls fn for each column
 * definition (its quoted name and the item's bytes) until fn returns
 * non-zero. Returns fn's last result, or 0. */
int each_column_item(const char *text, size_t len,
                     int (*fn)(void *ctx, const char *name, size_t nlen, const char *item,
                               size_t ilen),
                     void *ctx);

/* Whether the words w1 w2 (w2 may be NULL) follow each other in s[0..n)
 * outside quotes and literals; the offset of w1, or -1. */
long find_words(const char *s, size_t n, const char *w1, const char *w2);

/* Called with the rewritten CREATE TABLE block at the start of the cache:
 * turns an ALWAYS or ON NULL identity into BY DEFAULT there, and fills
 * the worker's table_text and identity column (quoted name and generation
 * kind, "" when none), read when the table's statements are written. */
void note_table_text(EXP_WORKER *w);

/* Puts into the emptied cache the statements gathered for table tab, in
 * their order (a NOT NULL the table text has already left out), and the
 * identity column's restart last. Returns 0 or -1. */
int write_table_objects(EXP_WORKER *w, const EXP_TABLE *tab);

#ifdef __cplusplus
}
#endif

#endif /* TAB_EXP_LOCAL_H */
